#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fake_speech_vendor.h"
#include "media/cloud_providers.h"
#include "speech_test_support.h"
#include "support/free_port.h"

namespace velmor::media {
namespace {

using nlohmann::json;
using test::FakeSpeechVendor;

uint32_t littleEndian(const std::string& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The four providers, each pointed at its own fake vendor.
struct Vendors {
    explicit Vendors(FakeSpeechVendor::Responder responder)
        : elevenLabs(responder), openAI(responder), gemini(responder), deepgram(responder) {
        providers = makeCloudProviders(player, {elevenLabs.baseUrl(), openAI.baseUrl(), gemini.baseUrl(), deepgram.baseUrl()});
    }
    TTSProvider& get(const std::string& id) {
        for (auto& provider : providers)
            if (provider->providerId() == id) return *provider;
        throw std::runtime_error("no provider " + id);
    }
    size_t requestCount() const {
        return elevenLabs.requests().size() + openAI.requests().size() + gemini.requests().size() +
               deepgram.requests().size();
    }
    AudioPlayer player{"ffmpeg"};
    FakeSpeechVendor elevenLabs, openAI, gemini, deepgram;
    std::vector<std::unique_ptr<TTSProvider>> providers;
};

const std::string kPcm("\x01\x00\xff\x7f\x00\x80", 6);

FakeSpeechVendor::Reply audioReply(const FakeSpeechVendor::Request& request) {
    if (request.target.find("generateContent") != std::string::npos)
        return {200, json{{"candidates", {{{"content", {{"parts", {{{"inlineData", {{"data", "AQD/fwCA"}}}}}}}}}}}}.dump()};
    return {200, "ID3-mp3-bytes-for:" + request.target};
}

TEST(CloudProviders, EachVendorReceivesItsOwnRequestAndItsAudioComesBack) {
    Vendors vendors(audioReply);
    for (auto& provider : vendors.providers) provider->configure("key-" + provider->providerId());

    auto elevenLabs = vendors.get("elevenlabs").fetchAudio("Hello there", "Charlie");
    ASSERT_TRUE(elevenLabs);
    ASSERT_TRUE(vendors.get("elevenlabs").fetchAudio("Raw id", "MyOwnVoice_1"));
    auto requests = vendors.elevenLabs.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/v1/text-to-speech/IKne3meq5aSn9XLyUdCD");
    EXPECT_EQ(requests[0].headers["xi-api-key"], "key-elevenlabs");
    EXPECT_EQ(requests[0].headers["content-type"], "application/json");
    EXPECT_EQ(json::parse(requests[0].body), (json{{"text", "Hello there"}, {"model_id", "eleven_multilingual_v2"}}));
    EXPECT_EQ(requests[1].target, "/v1/text-to-speech/MyOwnVoice_1");  // an id keeps its spelling
    EXPECT_EQ(*elevenLabs, "ID3-mp3-bytes-for:/v1/text-to-speech/IKne3meq5aSn9XLyUdCD");

    ASSERT_TRUE(vendors.get("openai").fetchAudio("Say \"this\"", "Coral"));
    requests = vendors.openAI.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/v1/audio/speech");
    EXPECT_EQ(requests[0].headers["authorization"], "Bearer key-openai");
    EXPECT_EQ(requests[0].headers["content-type"], "application/json");
    EXPECT_EQ(json::parse(requests[0].body), (json{{"model", "gpt-4o-mini-tts"}, {"input", "Say \"this\""},
                                                  {"voice", "coral"}, {"response_format", "mp3"}}));

    auto wav = vendors.get("gemini").fetchAudio("Gemini line", "kore");
    requests = vendors.gemini.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/v1beta/models/gemini-2.5-flash-preview-tts:generateContent");
    EXPECT_EQ(requests[0].headers["x-goog-api-key"], "key-gemini");
    json body = json::parse(requests[0].body);
    EXPECT_EQ(body["contents"][0]["parts"][0]["text"], "Gemini line");
    EXPECT_EQ(body["generationConfig"]["responseModalities"], json::array({"AUDIO"}));
    EXPECT_EQ(body["generationConfig"]["speechConfig"]["voiceConfig"]["prebuiltVoiceConfig"]["voiceName"], "Kore");
    ASSERT_TRUE(wav);
    ASSERT_EQ(wav->size(), 44 + kPcm.size());
    EXPECT_EQ(wav->substr(0, 4), "RIFF");
    EXPECT_EQ(littleEndian(*wav, 4, 4), 36 + kPcm.size());
    EXPECT_EQ(wav->substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(littleEndian(*wav, 16, 4), 16u);
    EXPECT_EQ(littleEndian(*wav, 20, 2), 1u);
    EXPECT_EQ(littleEndian(*wav, 22, 2), 1u);      // mono
    EXPECT_EQ(littleEndian(*wav, 24, 4), 24000u);  // sample rate
    EXPECT_EQ(littleEndian(*wav, 28, 4), 48000u);  // byte rate
    EXPECT_EQ(littleEndian(*wav, 32, 2), 2u);      // block align
    EXPECT_EQ(littleEndian(*wav, 34, 2), 16u);
    EXPECT_EQ(wav->substr(36, 4), "data");
    EXPECT_EQ(littleEndian(*wav, 40, 4), kPcm.size());
    EXPECT_EQ(wav->substr(44), kPcm);

    ASSERT_TRUE(vendors.get("deepgram").fetchAudio("Deepgram line", "LuNa"));
    requests = vendors.deepgram.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/v1/speak?model=aura-2-luna-en&encoding=mp3");
    EXPECT_EQ(requests[0].headers["authorization"], "Token key-deepgram");
    EXPECT_EQ(json::parse(requests[0].body), (json{{"text", "Deepgram line"}}));
}

TEST(CloudProviders, AVoiceIsCachedWhateverItsLetterCase) {
    Vendors vendors(audioReply);
    auto& openAI = vendors.get("openai");
    openAI.configure("k");
    EXPECT_FALSE(openAI.getCachedAudio("Welcome", "Nova"));
    auto first = openAI.fetchAudio("Welcome", "Nova");
    ASSERT_TRUE(first);
    EXPECT_EQ(openAI.getCachedAudio("Welcome", "NOVA"), first);
    EXPECT_EQ(openAI.fetchAudio("Welcome", "nova"), first);
    EXPECT_FALSE(openAI.getCachedAudio("Welcome", "sage"));
    EXPECT_FALSE(openAI.getCachedAudio("welcome", "nova"));  // the text is taken as it is
    // No voice means the provider's default.
    ASSERT_TRUE(openAI.fetchAudio("Plain", std::nullopt));
    EXPECT_TRUE(openAI.getCachedAudio("Plain", "Coral"));
    EXPECT_EQ(vendors.openAI.requests().size(), 2u);
    openAI.clearCache();
    EXPECT_FALSE(openAI.getCachedAudio("Welcome", "nova"));
}

TEST(CloudProviders, RefusalsAndBrokenAnswersAreLoggedAndGiveNoAudio) {
    std::string longBody = "{\"error\":\"invalid key\"}" + std::string(300, 'x');
    Vendors vendors([&](const FakeSpeechVendor::Request& request) -> FakeSpeechVendor::Reply {
        if (request.target.find("generateContent") != std::string::npos) return {200, "{\"candidates\":[]}"};
        return {401, longBody};
    });
    for (auto& provider : vendors.providers) provider->configure("wrong");
    auto mark = test::logMark();
    EXPECT_FALSE(vendors.get("openai").fetchAudio("a", "coral"));
    EXPECT_FALSE(vendors.get("elevenlabs").fetchAudio("a", "brian"));
    EXPECT_FALSE(vendors.get("gemini").fetchAudio("a", "kore"));
    EXPECT_FALSE(vendors.get("openai").getCachedAudio("a", "coral"));
    std::string log = test::logSince(mark);
    EXPECT_NE(log.find("OpenAI HTTP 401: " + longBody.substr(0, 200) + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ElevenLabs HTTP 401\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Failed to parse Gemini audio response"), std::string::npos) << log;

    // A voice that would lead the request elsewhere on the vendor's host is never sent.
    EXPECT_FALSE(vendors.get("elevenlabs").fetchAudio("a", "../../v1/user"));
    EXPECT_EQ(vendors.elevenLabs.requests().size(), 1u);

    // Nobody listening: the transport's failure.
    uint16_t closedPort = test::freePort();
    AudioPlayer player;
    auto unreachable = makeCloudProviders(player, {.deepgram = "http://127.0.0.1:" + std::to_string(closedPort)});
    unreachable[3]->configure("k");
    mark = test::logMark();
    EXPECT_FALSE(unreachable[3]->fetchAudio("a", "luna"));
    EXPECT_EQ(unreachable[3]->speakSync("a", "luna").error(), "Deepgram TTS fetch failed");
    EXPECT_NE(test::logSince(mark).find("Deepgram fetch error: "), std::string::npos);
}

TEST(CloudProviders, UnconfiguredProvidersSayWhichKeyIsMissingWithoutARequest) {
    Vendors vendors(audioReply);
    const std::pair<const char*, const char*> expected[] = {
        {"elevenlabs", "ElevenLabs API key not set. Configure a TTS provider in Settings"},
        {"openai", "OpenAI API key not set"},
        {"gemini", "Gemini API key not set"},
        {"deepgram", "Deepgram API key not set"}};
    for (auto [id, message] : expected) {
        auto& provider = vendors.get(id);
        EXPECT_FALSE(provider.isConfigured());
        EXPECT_EQ(provider.speakSync("Hello", std::nullopt).error(), message);
        EXPECT_FALSE(provider.fetchAudio("Hello", std::nullopt));
        auto counts = provider.prefetch({{"one", std::nullopt}, {"two", "x"}});
        EXPECT_EQ(counts.succeeded, 0);
        EXPECT_EQ(counts.failed, 2);
    }
    EXPECT_EQ(vendors.requestCount(), 0u);
}

TEST(CloudProviders, PrefetchCountsFailuresAndKeepsAtMostEightRequestsInFlight) {
    Vendors vendors([](const FakeSpeechVendor::Request& request) -> FakeSpeechVendor::Reply {
        if (request.body.find("broken") != std::string::npos) return {500, "overloaded", std::chrono::milliseconds(50)};
        return {200, "audio:" + request.body, std::chrono::milliseconds(50)};
    });
    for (const char* id : {"elevenlabs", "deepgram"}) {
        auto& provider = vendors.get(id);
        provider.configure("k");
        ASSERT_TRUE(provider.fetchAudio("line 0", std::nullopt));
        std::vector<SpeechLine> lines;
        for (int i = 0; i < 24; ++i) lines.push_back({(i % 6 == 5 ? "broken " : "line ") + std::to_string(i), std::nullopt});
        auto mark = test::logMark();
        auto counts = provider.prefetch(lines);
        EXPECT_EQ(counts.succeeded, 20) << id;
        EXPECT_EQ(counts.failed, 4) << id;
        EXPECT_TRUE(provider.getCachedAudio("line 22", std::nullopt));
        EXPECT_FALSE(provider.getCachedAudio("broken 5", std::nullopt));
        if (std::string(id) == "elevenlabs") {
            EXPECT_NE(test::logSince(mark).find("Prefetched 20/24 audio clips"), std::string::npos);
        }
    }
    // Line 0 was cached before each prefetch: 23 requests each.
    EXPECT_EQ(vendors.elevenLabs.requests().size(), 24u);
    EXPECT_EQ(vendors.deepgram.requests().size(), 24u);
    EXPECT_LE(vendors.elevenLabs.peakConcurrency(), 8);
    EXPECT_GE(vendors.elevenLabs.peakConcurrency(), 4);
}

}  // namespace
}  // namespace velmor::media
