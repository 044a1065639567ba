#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>

#include "base/child_run.h"
#include "fake_speech_vendor.h"
#include "media/cloud_providers.h"
#include "media/tts_manager.h"
#include "sink_recording.h"
#include "speech_test_support.h"
#include "support/temp_home.h"
#include "tools/speech_tools.h"

// These tests play real sound into the test desktop's PulseAudio null sink
// (scripts/desktop-stack-up.sh) and listen to its monitor.
namespace velmor::media {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A real MP3 of a tone, made by ffmpeg.
std::string toneMp3(double seconds) {
    return runChild({"ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                     "sine=frequency=440:sample_rate=24000:duration=" + std::to_string(seconds), "-f", "mp3",
                     "pipe:1"},
                    {}, std::chrono::seconds(20))
        .output;
}

TEST(SpeechPlayback, TheSystemVoiceSpeaksThroughTheSpeakToolAndIsRecordedInTheFlow) {
    test::TempHome home;
    TTSEngine systemVoice;
    AudioPlayer player;
    TTSManager speech(systemVoice, makeCloudProviders(player));
    std::vector<tools::StepRecord> steps;
    tools::ToolFamilies families;
    families.recordStep = [&steps](const tools::StepRecord& step) { steps.push_back(step); };
    tools::ToolRouter router(families);
    tools::installSpeechTools(router, speech, home.path() + "/.velmor/config.json");

    auto voices = systemVoice.listVoices();
    ASSERT_GT(voices.size(), 10u);
    EXPECT_NE(std::find(voices.begin(), voices.end(), "English_(Great_Britain)"), voices.end());

    test::SinkRecording sink;
    auto start = Clock::now();
    json arguments{{"text", "Welcome to the demo. This sentence is spoken by the system voice."}, {"voice", "GREAT_BRITAIN"}};
    json answer = router.callTool("speak", arguments).result();
    double took = secondsSince(start);
    std::string pcm = sink.stop();
    EXPECT_EQ(answer, (json{{"status", "spoken"}, {"text", arguments["text"]}, {"provider", "system"}}));
    // The sentence lasts a few seconds; the call returns only once it has been said.
    EXPECT_GT(took, 1.5);
    EXPECT_LT(took, 30.0);
    EXPECT_GT(test::peakLevel(pcm), 2000);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].toolName, "speak");
    EXPECT_EQ(steps[0].args, arguments);

    auto wav = systemVoice.renderWav("Rendered, not played.", "english");
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->substr(0, 4), "RIFF");
    EXPECT_GT(wav->size(), 10000u);
}

TEST(SpeechPlayback, SystemVoiceLimitsAndFailures) {
    TTSEngine slow("espeak-ng", std::chrono::milliseconds(700));
    std::string longText;
    for (int i = 0; i < 40; ++i) longText += "This text takes far longer to say than the limit allows. ";
    auto start = Clock::now();
    EXPECT_EQ(slow.speakSync(longText, std::nullopt).error(), "speech timed out");
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_FALSE(slow.isSpeaking());

    TTSEngine missing("/nonexistent/espeak-ng");
    EXPECT_EQ(missing.speakSync("hello", std::nullopt).error(), "failed to start speaking");
    EXPECT_TRUE(missing.listVoices().empty());
}

TEST(SpeechPlayback, ACloudVoiceIsFetchedOncePlayedToTheEndAndReplayedFromTheCache) {
    std::string mp3 = toneMp3(1.5);
    ASSERT_GT(mp3.size(), 1000u);
    test::FakeSpeechVendor vendor([&mp3](const test::FakeSpeechVendor::Request&) -> test::FakeSpeechVendor::Reply {
        return {200, mp3};
    });
    AudioPlayer player;
    auto providers = makeCloudProviders(player, {.openAI = vendor.baseUrl()});
    auto& openAI = *providers[1];
    openAI.configure("sk-test");

    for (const char* voice : {"Nova", "NOVA"}) {
        auto mark = test::logMark();
        test::SinkRecording sink;
        auto start = Clock::now();
        auto spoken = openAI.speakSync("A tone instead of a voice", voice);
        double took = secondsSince(start);
        std::string pcm = sink.stop();
        EXPECT_TRUE(spoken.ok()) << spoken.error();
        EXPECT_GT(took, 1.3) << voice;
        EXPECT_LT(took, 10.0) << voice;
        EXPECT_GT(test::peakLevel(pcm), 2000) << voice;
        if (std::string(voice) == "NOVA") {
            EXPECT_NE(test::logSince(mark).find("OpenAI playing from cache: A tone instead of a voice"), std::string::npos);
        }
    }
    EXPECT_EQ(vendor.requests().size(), 1u);

    auto start = Clock::now();
    EXPECT_EQ(player.playAndWait("definitely not audio").error().rfind("playback error: ", 0), 0u);
    // ffmpeg gives up long before the end of this; the rest of the bytes meet a closed pipe.
    EXPECT_EQ(player.playAndWait(std::string(24 << 20, 'x')).error().rfind("playback error: ", 0), 0u);
    AudioPlayer impatient("ffmpeg", std::chrono::milliseconds(500));
    EXPECT_EQ(impatient.playAndWait(mp3).error(), "playback timed out");
    EXPECT_LT(secondsSince(start), 5.0);
}

}  // namespace
}  // namespace velmor::media
