#include "media/cloud_providers.h"

#include <openssl/evp.h>

#include <map>
#include <nlohmann/json.hpp>

#include "base/log.h"
#include "base/text.h"
#include "base/utf8.h"
#include "media/cloud_provider.h"
#include "media/http_post.h"
#include "media/wav.h"

namespace velmor::media {

namespace {

using nlohmann::json;

// ElevenLabs' stock voices, by lower-case name.
const std::map<std::string, std::string>& elevenLabsVoiceMap() {
    static const std::map<std::string, std::string> voices{
        {"roger", "CwhRBWXzGAHq8TQ4Fs17"}, {"sarah", "EXAVITQu4vr4xnSDxMaL"},   {"laura", "FGY2WhTYpPnrIDTdsKH5"},
        {"charlie", "IKne3meq5aSn9XLyUdCD"}, {"george", "JBFqnCBsd6RMkjVDRZzb"}, {"callum", "N2lVS1w4EtoT3dr4eOWO"},
        {"river", "SAz9YHcvj6GT2YYXdXww"},  {"harry", "SOYHLrjzK2X1ezoPC6cr"},  {"liam", "TX3LPaxmHKxFdv7VOQHJ"},
        {"alice", "Xb7hH8MSUJpSbSDYk0k2"},  {"matilda", "XrExE9yKIg1WjnnlVkGX"}, {"will", "bIHbv24MWmeRgasZH58o"},
        {"jessica", "cgSgspJ2msm6clMCkdW9"}, {"eric", "cjVigY5qzO86Huf0OWal"},  {"bella", "hpp4J3VqNfWAUOO0d1Us"},
        {"chris", "iP95p4xoKVk53GoZ742B"},  {"brian", "nPczCjzI2devNBz1zQrb"},  {"daniel", "onwK4e9ZLuTAKqWW03F9"},
        {"lily", "pFZP5JQG7iQjIQuC4Bku"},   {"adam", "pNInz6obpgDQGcFmaJgB"},   {"bill", "pqHfZKP75CvOlQylNhV4"},
    };
    return voices;
}

// A voice id goes into the URL path as it is, so only plain id characters are accepted:
// a name such as "../v1/user" must never reach another endpoint with the key attached.
bool isPlainVoiceId(const std::string& id) {
    if (id.empty()) return false;
    for (char c : id)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return false;
    return true;
}

class ElevenLabsTTS : public CloudProvider {
public:
    ElevenLabsTTS(std::string apiBase, AudioPlayer& player)
        : CloudProvider({"elevenlabs", "ElevenLabs", "ElevenLabs API key not set. Configure a TTS provider in Settings",
                         "Playing from cache: ", "TTS fetch failed"},
                        std::move(apiBase), player, {"brian", "sarah", "charlie", "jessica", "alice"}) {}

    PrefetchCounts prefetch(const std::vector<SpeechLine>& lines) override {
        if (!isConfigured()) return {0, static_cast<int>(lines.size())};
        PrefetchCounts counts = TTSProvider::prefetch(lines);
        Log::info("tts", "Prefetched " + std::to_string(counts.succeeded) + "/" + std::to_string(lines.size()) +
                             " audio clips");
        return counts;
    }

protected:
    std::optional<VendorRequest> request(const std::string& text, const std::string& voice,
                                         const std::string& apiKey) const override {
        // A name in the map becomes its id; anything else is taken as an id, spelled as given.
        auto known = elevenLabsVoiceMap().find(lowerAscii(voice));
        std::string id = known != elevenLabsVoiceMap().end() ? known->second : voice;
        if (!isPlainVoiceId(id)) return std::nullopt;
        return VendorRequest{"/v1/text-to-speech/" + id,
                             {{"xi-api-key", "", apiKey}},
                             json{{"text", text}, {"model_id", "eleven_multilingual_v2"}}.dump()};
    }

    void logRefusal(long status, const std::string&) const override {
        Log::error("tts", "ElevenLabs HTTP " + std::to_string(status));
    }
};

class OpenAITTS : public CloudProvider {
public:
    OpenAITTS(std::string apiBase, AudioPlayer& player)
        : CloudProvider({"openai", "OpenAI", "OpenAI API key not set", "OpenAI playing from cache: ",
                         "OpenAI TTS fetch failed"},
                        std::move(apiBase), player, {"coral", "sage", "alloy", "nova", "echo"}) {}

protected:
    std::optional<VendorRequest> request(const std::string& text, const std::string& voice,
                                         const std::string& apiKey) const override {
        return VendorRequest{
            "/v1/audio/speech",
            {{"Authorization", "Bearer ", apiKey}},
            json{{"model", "gpt-4o-mini-tts"}, {"input", text}, {"voice", lowerAscii(voice)}, {"response_format", "mp3"}}.dump()};
    }
};

class GeminiTTS : public CloudProvider {
public:
    GeminiTTS(std::string apiBase, AudioPlayer& player)
        : CloudProvider({"gemini", "Gemini", "Gemini API key not set", "Gemini playing from cache: ",
                         "Gemini TTS fetch failed"},
                        std::move(apiBase), player, {"kore", "puck", "zephyr", "charon", "aoede"}) {}

protected:
    std::optional<VendorRequest> request(const std::string& text, const std::string& voice,
                                         const std::string& apiKey) const override {
        std::string voiceName = lowerAscii(voice);
        if (!voiceName.empty() && voiceName[0] >= 'a' && voiceName[0] <= 'z') voiceName[0] -= 'a' - 'A';
        json body{{"contents", json::array({{{"parts", json::array({{{"text", text}}})}}})},
                  {"generationConfig",
                   {{"responseModalities", json::array({"AUDIO"})},
                    {"speechConfig", {{"voiceConfig", {{"prebuiltVoiceConfig", {{"voiceName", voiceName}}}}}}}}}};
        return VendorRequest{"/v1beta/models/gemini-2.5-flash-preview-tts:generateContent",
                             {{"x-goog-api-key", "", apiKey}}, body.dump()};
    }

    // The answer carries 24 kHz mono 16-bit PCM in base64, which players only take as WAV.
    std::optional<std::string> audioFrom(const std::string& body) const override {
        auto pcm = decodeInlineAudio(body);
        if (!pcm) {
            Log::error("tts", "Failed to parse Gemini audio response");
            return std::nullopt;
        }
        return pcmToWav(*pcm, 24000, 1, 16);
    }

private:
    static std::optional<std::string> decodeInlineAudio(const std::string& body) {
        json answer = json::parse(body, nullptr, false);
        if (!answer.is_object()) return std::nullopt;
        const json* data = nullptr;
        try {
            data = &answer.at("candidates").at(0).at("content").at("parts").at(0).at("inlineData").at("data");
        } catch (const json::exception&) {
            return std::nullopt;
        }
        if (!data->is_string()) return std::nullopt;
        const std::string& encoded = data->get_ref<const std::string&>();
        if (encoded.empty() || encoded.size() % 4 != 0) return std::nullopt;
        std::string pcm(encoded.size() / 4 * 3, '\0');
        int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(pcm.data()),
                                     reinterpret_cast<const unsigned char*>(encoded.data()),
                                     static_cast<int>(encoded.size()));
        if (length < 0) return std::nullopt;
        // The decoder counts the padding as zero bytes.
        size_t padding = encoded.ends_with("==") ? 2 : encoded.ends_with("=") ? 1 : 0;
        pcm.resize(static_cast<size_t>(length) - padding);
        return pcm;
    }
};

class DeepgramTTS : public CloudProvider {
public:
    DeepgramTTS(std::string apiBase, AudioPlayer& player)
        : CloudProvider({"deepgram", "Deepgram", "Deepgram API key not set", "Deepgram playing from cache: ",
                         "Deepgram TTS fetch failed"},
                        std::move(apiBase), player, {"thalia", "apollo", "asteria", "luna", "orion"}) {}

protected:
    std::optional<VendorRequest> request(const std::string& text, const std::string& voice,
                                         const std::string& apiKey) const override {
        return VendorRequest{"/v1/speak?model=aura-2-" + percentEncode(lowerAscii(voice)) + "-en&encoding=mp3",
                             {{"Authorization", "Token ", apiKey}}, json{{"text", text}}.dump()};
    }
};

}  // namespace

std::vector<std::unique_ptr<TTSProvider>> makeCloudProviders(AudioPlayer& player, const CloudEndpoints& endpoints) {
    std::vector<std::unique_ptr<TTSProvider>> providers;
    providers.push_back(std::make_unique<ElevenLabsTTS>(endpoints.elevenLabs, player));
    providers.push_back(std::make_unique<OpenAITTS>(endpoints.openAI, player));
    providers.push_back(std::make_unique<GeminiTTS>(endpoints.gemini, player));
    providers.push_back(std::make_unique<DeepgramTTS>(endpoints.deepgram, player));
    return providers;
}

}  // namespace velmor::media
