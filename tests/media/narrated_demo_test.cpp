#include "automation/desktop_test.h"
#include "browser/browser_session_manager.h"
#include "media/audio_player.h"
#include "media/media_probe.h"
#include "media/tts_engine.h"
#include "media/tts_manager.h"
#include "media/window_recorder.h"
#include "platform/linux/linux_desktop.h"
#include "tools/recording_tools.h"

#include <filesystem>
#include <regex>
#include <sys/stat.h>

namespace velmor::test {
namespace {

using nlohmann::json;

// The recording tools on the fixture's session, speaking with the system voice unless a
// test configures a cloud provider.
class NarratedDemoTest : public DesktopTest {
protected:
    NarratedDemoTest() { install("ffmpeg"); }

    void install(const std::string& recorderProgram) {
        recorder = std::make_unique<media::WindowRecorder>(recorderProgram, desktop(), platform::linuxDesktop().windows);
        session.setOnSessionStarted([this] { recorder->clearCachedSelection(); });
        tools::installRecordingTools(router,
                                     {router, session, browserSessions, platform::linuxDesktop().menus, *recorder,
                                      speech, player, "ffmpeg", home.path()},
                                     desktop());
    }
    std::string desktop() const { return home.path() + "/Desktop"; }
    json demo(const json& script) { return call("record_narrated_demo", {{"script", script}}); }

    browser::BrowserSessionManager browserSessions;
    media::TTSEngine systemVoice;
    media::AudioPlayer player;
    media::TTSManager speech{systemVoice, {}};
    std::unique_ptr<media::WindowRecorder> recorder;
};

// Without a cloud account the system voice's own audio is laid under the video.
TEST_F(NarratedDemoTest, ASystemVoiceDemoOfTheFixtureHasItsNarrationInTheVideo) {
    ASSERT_FALSE(start().contains("error"));
    json answer = demo(json::array({
        {{"action", "start_recording"}},
        {{"action", "speak"}, {"text", "This is the fixture application, and we are about to search it."}},
        {{"action", "fill"}, {"tool", "fill_search"}, {"value", "narrated demos on Linux"}},
        {{"action", "click"}, {"tool", "click_open_dialog"}},
        {{"action", "wait_for_tool"}, {"tool", "click_confirm"}, {"timeout_ms", 5000}},
        {{"action", "speak"}, {"text", "A dialog asks us to confirm."}},
        {{"action", "click"}, {"tool", "click_confirm"}},
        {{"action", "wave"}},
        {{"action", "stop_recording"}},
    }));
    ASSERT_EQ(answer.value("status", ""), "completed") << answer.dump();
    EXPECT_EQ(answer.value("steps_executed", 0), 9);
    auto results = answer.at("results");
    ASSERT_EQ(results.size(), 10u) << answer.dump(2);
    EXPECT_EQ(results[0], "Step 1: recording started (window)");
    EXPECT_EQ(results[1], "Step 2: spoke \"This is the fixture application, and we \" (system TTS)");
    EXPECT_EQ(results[2], "Step 3: fill fill_search = \"narrated demos on Linux\"");
    EXPECT_EQ(results[3], "Step 4: click click_open_dialog");
    EXPECT_TRUE(std::regex_match(results[4].get<std::string>(),
                                 std::regex("Step 5: wait_for_tool \"click_confirm\" found \\([0-9]+ms\\)")))
        << results[4];
    EXPECT_EQ(results[5], "Step 6: spoke \"A dialog asks us to confirm.\" (system TTS)");
    EXPECT_EQ(results[6], "Step 7: click click_confirm");
    EXPECT_EQ(results[7], "Step 8: unknown action 'wave'");
    std::string saved = results[8].get<std::string>();
    ASSERT_TRUE(saved.starts_with("Step 9: recording stopped → " + desktop() + "/velmor-demo-")) << saved;
    std::string video = saved.substr(saved.find("→ ") + std::string("→ ").size());
    EXPECT_EQ(results[9], "Audio merged → " + video);

    // What the demo did happened on screen.
    EXPECT_TRUE(app->printed("dialog closed"));
    EXPECT_EQ(valueIn(call("get_page_info"), "fill_search"), "narrated demos on Linux");

    auto probe = probeMedia(video);
    auto audio = streamOf(probe, "audio");
    ASSERT_TRUE(audio.is_object()) << probe.dump();
    EXPECT_EQ(audio.value("codec_name", ""), "aac");
    EXPECT_EQ(streamOf(probe, "video").value("codec_name", ""), "h264");
    // Two spoken lines of about 4 s and 2 s, the second after the first: the track lasts
    // at least as long as both.
    EXPECT_GE(durationOf(audio), 5.0);
    EXPECT_FALSE(std::filesystem::exists(video.substr(0, video.size() - 4) + "-narrated.mp4"));
    for (const auto& entry : std::filesystem::directory_iterator(home.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("velmor-narration")) << entry.path();
}

// An ffmpeg that finishes the file but reports failure: the writer's error is answered
// with the usable file; stopping with nothing recording is an error even then.
TEST_F(NarratedDemoTest, AWriterErrorStillSavesAUsableFile) {
    std::string wrapper = home.path() + "/failing-ffmpeg";
    writeFile(wrapper, "#!/bin/sh\nffmpeg \"$@\"\nexit 7\n");
    chmod(wrapper.c_str(), 0755);
    install(wrapper);

    ASSERT_EQ(call("start_recording", {{"mode", "DISPLAY"}}),
              json({{"status", "recording"},
                    {"mode", "display"},
                    {"message", "Recording entire screen. Call stop_recording when done."}}));
    EXPECT_EQ(call("start_recording", {{"mode", "display"}}), json({{"error", "already recording"}}));
    EXPECT_EQ(call("start_recording"), json({{"error", "already recording"}}));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    json stopped = call("stop_recording");
    ASSERT_EQ(stopped.value("status", ""), "saved") << stopped.dump();
    std::string path = stopped.value("path", "");
    EXPECT_TRUE(path.starts_with(desktop() + "/velmor-demo-")) << path;
    EXPECT_EQ(stopped.value("note", ""), "writer reported error but file is valid (" +
                                             std::to_string(std::filesystem::file_size(path)) + " bytes)");
    EXPECT_TRUE(streamOf(probeMedia(path), "video").is_object());

    EXPECT_EQ(call("stop_recording"), json({{"error", "not recording"}}));
    EXPECT_EQ(call("start_recording", {{"mode", "window"}}), json({{"error", "no active session"}}));
    EXPECT_EQ(call("record_narrated_demo"), json({{"error", "missing 'script' array"}}));
}

}  // namespace
}  // namespace velmor::test
