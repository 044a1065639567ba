#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "fake_speech_vendor.h"
#include "speech_test_support.h"
#include "media/cloud_providers.h"
#include "media/tts_manager.h"
#include "support/temp_home.h"
#include "tools/speech_tools.h"

namespace velmor::media {
namespace {

using nlohmann::json;
using test::FakeSpeechVendor;

// A manager over the four providers, all pointed at one fake vendor, with a system voice
// that cannot run (these tests make no sound).
struct Speech {
    Speech()
        : vendor([](const FakeSpeechVendor::Request& request) -> FakeSpeechVendor::Reply {
              return {200, "audio:" + request.body};
          }),
          manager(systemVoice, makeCloudProviders(player, {vendor.baseUrl(), vendor.baseUrl(), vendor.baseUrl(),
                                                           vendor.baseUrl()})) {}
    FakeSpeechVendor vendor;
    TTSEngine systemVoice{"/nonexistent/espeak-ng"};
    AudioPlayer player{"/nonexistent/ffmpeg"};
    TTSManager manager;
};

TEST(SpeechSettings, ConfigurationDecidesWhichProviderSpeaks) {
    test::TempHome home;
    std::string file = home.path() + "/.velmor/config.json";
    {
        Speech speech;  // no file at all
        speech.manager.loadFromConfig(file);
        EXPECT_EQ(speech.manager.currentProviderId(), "elevenlabs");
        EXPECT_FALSE(speech.manager.isConfigured());
        EXPECT_EQ(speech.manager.defaultVoice(), "brian");
        EXPECT_TRUE(speech.manager.availableVoices().empty());
        auto counts = speech.manager.prefetch({{"a", {}}, {"b", {}}, {"c", {}}});
        EXPECT_EQ(counts.succeeded, 0);
        EXPECT_EQ(counts.failed, 3);
        // Falls back to the system voice, which cannot run here.
        EXPECT_EQ(speech.manager.speakSync("hi", std::nullopt).error(), "failed to start speaking");
        EXPECT_EQ(speech.manager.allProviderIds(), (std::vector<std::string>{"deepgram", "elevenlabs", "gemini", "openai"}));
    }
    {
        Speech speech;  // the chosen provider has an empty key
        test::writeFile(file, R"({"tts_provider": "openai", "openai_api_key": "", "gemini_api_key": "g"})");
        speech.manager.loadFromConfig(file);
        EXPECT_EQ(speech.manager.currentProviderId(), "openai");
        EXPECT_FALSE(speech.manager.isConfigured());
        EXPECT_TRUE(speech.manager.provider("gemini")->isConfigured());
        EXPECT_EQ(speech.manager.defaultVoice(), "brian");
    }
    {
        Speech speech;  // an unknown provider and keys of the wrong type are ignored
        test::writeFile(file, R"({"tts_provider": "acme", "deepgram_api_key": 42, "elevenlabs_api_key": "e"})");
        speech.manager.loadFromConfig(file);
        EXPECT_EQ(speech.manager.currentProviderId(), "elevenlabs");
        EXPECT_TRUE(speech.manager.isConfigured());
        EXPECT_FALSE(speech.manager.provider("deepgram")->isConfigured());
        EXPECT_EQ(speech.manager.defaultVoice(), "brian");
    }
    {
        Speech speech;  // not an object
        test::writeFile(file, R"(["tts_provider", "gemini"])");
        speech.manager.loadFromConfig(file);
        EXPECT_FALSE(speech.manager.isConfigured());
    }
    {
        Speech speech;
        test::writeFile(file, R"({"tts_provider": "deepgram", "deepgram_api_key": "d"})");
        speech.manager.loadFromConfig(file);
        EXPECT_TRUE(speech.manager.isConfigured());
        EXPECT_EQ(speech.manager.defaultVoice(), "thalia");
        EXPECT_EQ(speech.manager.availableVoices(), (std::vector<std::string>{"thalia", "apollo", "asteria", "luna", "orion"}));
        auto counts = speech.manager.prefetch({{"one", "Luna"}, {"two", std::nullopt}});
        EXPECT_EQ(counts.succeeded, 2);
        EXPECT_TRUE(speech.manager.getCachedAudio("one", "luna"));
        EXPECT_TRUE(speech.manager.getCachedAudio("two", "thalia"));
        speech.manager.setActiveProvider("nobody");
        EXPECT_EQ(speech.manager.currentProviderId(), "deepgram");
    }
}

TEST(SpeechSettings, ConfigureTtsSavesTheKeyBesideOtherSettingsAndPrefetchCountsLines) {
    test::TempHome home;
    std::string file = home.path() + "/.velmor/config.json";
    test::writeFile(file, R"({"token": "t0k", "port": 19820, "openai_api_key": "old"})");
    Speech speech;
    tools::ToolRouter router;
    tools::installSpeechTools(router, speech.manager, file);

    EXPECT_EQ(router.callTool("configure_tts", {{"api_key", "k"}}).result(), (json{{"error", "missing 'provider'"}}));
    EXPECT_EQ(router.callTool("configure_tts", {{"provider", "openai"}, {"api_key", ""}}).result(),
              (json{{"error", "missing 'api_key'"}}));
    EXPECT_EQ(router.callTool("configure_tts", {{"provider", "acme"}, {"api_key", "k"}}).result()["error"],
              "unknown provider: acme (known: deepgram, elevenlabs, gemini, openai)");
    EXPECT_FALSE(speech.manager.isConfigured());
    EXPECT_EQ(json::parse(test::readFile(file))["openai_api_key"], "old");

    EXPECT_EQ(router.callTool("configure_tts", {{"provider", "openai"}, {"api_key", "sk-new"}}).result(),
              (json{{"status", "configured"},
                    {"provider", "openai"},
                    {"voices", {"coral", "sage", "alloy", "nova", "echo"}}}));
    EXPECT_EQ(json::parse(test::readFile(file)), (json{{"token", "t0k"},
                                                      {"port", 19820},
                                                      {"openai_api_key", "sk-new"},
                                                      {"tts_provider", "openai"}}));
    struct stat status {};
    ASSERT_EQ(stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    EXPECT_EQ(router.callTool("prefetch_audio", {}).result(), (json{{"error", "missing 'lines' array"}}));
    EXPECT_EQ(router.callTool("prefetch_audio", {{"lines", {{{"text", "First"}}, 7}}}).result(),
              (json{{"error", "'lines' must be an array of objects"}}));
    EXPECT_EQ(router.callTool("prefetch_audio",
                              {{"lines", {{{"text", "First"}}, {{"text", ""}, {"voice", "nova"}}, {{"text", "Second"}, {"voice", "Sage"}}}}}).result(),
              (json{{"status", "prefetched"}, {"succeeded", 2}, {"failed", 0}, {"total", 2}}));
    auto requests = speech.vendor.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].headers["authorization"], "Bearer sk-new");
    EXPECT_TRUE(speech.manager.getCachedAudio("First", "coral"));
    EXPECT_TRUE(speech.manager.getCachedAudio("Second", "sage"));

    EXPECT_EQ(router.callTool("speak", {{"voice", "nova"}}).result(), (json{{"error", "missing 'text'"}}));
    // A cached line still needs a player; one that cannot run is reported, not hidden.
    EXPECT_EQ(router.callTool("speak", {{"text", "First"}}).result()["error"], "playback error: cannot run /nonexistent/ffmpeg");
}

// A key is put into a request header, where a CR or LF would end the header and let the
// key's author add headers or a whole second request. Such keys are refused when given,
// skipped when found stored, and never sent even when a provider holds one.
TEST(SpeechSettings, AKeyThatCouldBreakTheHeaderBlockIsRefusedAndNeverReachesTheVendor) {
    test::TempHome home;
    std::string file = home.path() + "/.velmor/config.json";
    test::writeFile(file, R"({"openai_api_key": "old"})");
    Speech speech;
    tools::ToolRouter router;
    tools::installSpeechTools(router, speech.manager, file);

    const std::string smuggled = "sk-1\r\nX-Injected: yes\r\n\r\nPOST /v1/other HTTP/1.1";
    for (const std::string& key : {smuggled, std::string("sk-\n"), std::string("sk\x1b[2J"), std::string("sk-\xc2\x85"),
                                   std::string("sk\0x", 4)})
        EXPECT_EQ(router.callTool("configure_tts", {{"provider", "openai"}, {"api_key", key}}).result(),
                  (json{{"error", "api_key contains characters a key never has"}}));
    EXPECT_EQ(router.callTool("configure_tts", {{"provider", "gemini"}, {"api_key", std::string(513, 'k')}}).result(),
              (json{{"error", "api_key is longer than 512 bytes"}}));
    EXPECT_FALSE(speech.manager.isConfigured());
    EXPECT_EQ(json::parse(test::readFile(file)), (json{{"openai_api_key", "old"}})) << "nothing is stored";
    EXPECT_EQ(router.callTool("prefetch_audio", {{"lines", {{{"text", "Hello"}}}}}).result()["succeeded"], 0);

    // The longest key still works, with its scheme in front.
    ASSERT_EQ(router.callTool("configure_tts", {{"provider", "openai"}, {"api_key", std::string(512, 'k')}}).result()["status"],
              "configured");
    EXPECT_EQ(router.callTool("prefetch_audio", {{"lines", {{{"text", "Hello"}}}}}).result()["succeeded"], 1);
    ASSERT_EQ(speech.vendor.requests().size(), 1u);
    EXPECT_EQ(speech.vendor.requests()[0].headers["authorization"], "Bearer " + std::string(512, 'k'));

    // A key written into the file by hand is left out at start-up.
    Speech restarted;
    test::writeFile(file, json{{"tts_provider", "deepgram"}, {"deepgram_api_key", smuggled}, {"gemini_api_key", "g"}}.dump());
    size_t mark = test::logMark();
    restarted.manager.loadFromConfig(file);
    EXPECT_FALSE(restarted.manager.isConfigured());
    EXPECT_TRUE(restarted.manager.provider("gemini")->isConfigured());
    EXPECT_NE(test::logSince(mark).find("The stored deepgram key contains characters a key never has; it is not used"),
              std::string::npos);

    // And a provider that holds one anyway, however it got there, sends nothing.
    restarted.manager.provider("deepgram")->configure(smuggled);
    mark = test::logMark();
    EXPECT_FALSE(restarted.manager.provider("deepgram")->fetchAudio("Hello", std::nullopt));
    EXPECT_NE(test::logSince(mark).find("the Authorization header contains characters a key never has; nothing was sent"),
              std::string::npos);
    EXPECT_TRUE(restarted.vendor.requests().empty());
}

}  // namespace
}  // namespace velmor::media
