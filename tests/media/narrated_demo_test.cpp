#include "automation/desktop_test.h"
#include "base/child_run.h"
#include "browser/browser_session_manager.h"
#include "media/audio_player.h"
#include "media/cloud_providers.h"
#include "media/fake_speech_vendor.h"
#include "media/media_probe.h"
#include "media/tts_engine.h"
#include "media/tts_manager.h"
#include "media/window_recorder.h"
#include "fixtures/desktop_listing.h"
#include "mcp/json_rpc.h"
#include "mcp/mcp_server.h"
#include "support/eventually.h"
#include "support/free_port.h"
#include "tools/recording_tools.h"
#include "tools/speech_tools.h"

#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <sys/stat.h>

namespace velmor::test {
namespace {

using nlohmann::json;

constexpr double kToneSeconds = 1.5;
constexpr const char* kToken = "c0ffeec0ffeec0ffeec0ffeec0ffeec0";

std::string post(const json& message) {
    std::string body = message.dump();
    return std::string("POST /mcp HTTP/1.1\r\nAuthorization: Bearer ") + kToken +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The processes whose command line mentions `text`.
std::vector<int> processesMentioning(const std::string& text) {
    std::vector<int> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream file(entry.path() / "cmdline", std::ios::binary);
        std::string commandLine((std::istreambuf_iterator<char>(file)), {});
        if (commandLine.find(text) != std::string::npos) found.push_back(std::stoi(name));
    }
    return found;
}

// A tone in place of a voice: what the fake vendor answers every request with.
std::string toneMp3() {
    return runChild({"ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                     "sine=frequency=440:sample_rate=24000:duration=" + std::to_string(kToneSeconds), "-f", "mp3",
                     "pipe:1"},
                    {}, std::chrono::seconds(20))
        .output;
}

// The recording and speech tools on the fixture's session, speaking with the system voice
// unless a test configures the cloud provider, whose vendor is played by a local server.
class NarratedDemoTest : public DesktopTest {
protected:
    NarratedDemoTest() {
        install("ffmpeg");
        tools::installSpeechTools(router, speech, home.path() + "/.velmor/config.json");
    }

    void install(const std::string& recorderProgram) {
        recorder = std::make_unique<media::WindowRecorder>(recorderProgram, desktop(), test::testDesktop().windows);
        session.setOnSessionStarted([this] { recorder->clearCachedSelection(); });
        tools::installRecordingTools(router,
                                     {router, session, browserSessions, test::testDesktop().menus, *recorder,
                                      speech, player, "ffmpeg", home.path()},
                                     desktop());
    }
    std::string desktop() const { return home.path() + "/Desktop"; }
    json demo(const json& script) { return call("record_narrated_demo", {{"script", script}}); }

    std::string tone = toneMp3();
    FakeSpeechVendor vendor{[this](const FakeSpeechVendor::Request&) { return FakeSpeechVendor::Reply{200, tone}; }};
    browser::BrowserSessionManager browserSessions;
    media::TTSEngine systemVoice;
    media::AudioPlayer player;
    media::TTSManager speech{systemVoice, media::makeCloudProviders(player, {.openAI = vendor.baseUrl()})};
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
    // Two spoken lines of about 4 s and 2 s, the second after the first: the track sounds
    // at least as long as both, and lasts as long as the video.
    EXPECT_GE(soundEndOf(video), 5.0);
    EXPECT_NEAR(durationOf(audio), durationOf(probe.value("format", json())), 0.3) << probe.dump();
    EXPECT_FALSE(std::filesystem::exists(video.substr(0, video.size() - 4) + "-narrated.mp4"));
    for (const auto& entry : std::filesystem::directory_iterator(home.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("velmor-narration")) << entry.path();
}

// Prefetched lines of a cloud voice are mixed at the moment they were spoken; a line
// fetched only when spoken is heard but not mixed.
TEST_F(NarratedDemoTest, ACloudVoiceDemoMixesThePrefetchedLines) {
    ASSERT_EQ(call("configure_tts", {{"provider", "openai"}, {"api_key", "sk-test"}}).value("status", ""), "configured");
    json lines = json::array({{{"text", "Welcome to the fixture."}}, {{"text", "The dialog asks us to confirm."}}});
    ASSERT_EQ(call("prefetch_audio", {{"lines", lines}}),
              json({{"status", "prefetched"}, {"succeeded", 2}, {"failed", 0}, {"total", 2}}));
    ASSERT_FALSE(start().contains("error"));
    json answer = demo(json::array({
        {{"action", "start_recording"}, {"mode", "display"}},
        {{"action", "speak"}, {"text", "Welcome to the fixture."}},
        {{"action", "click"}, {"tool", "click_open_dialog"}},
        {{"action", "wait_for_tool"}, {"tool", "click_confirm"}},
        {{"action", "speak"}, {"text", "The dialog asks us to confirm."}},
        {{"action", "click"}, {"tool", "click_dismiss"}},
        {{"action", "speak"}, {"text", "Nobody fetched this line before."}},
        {{"action", "stop_recording"}},
    }));
    auto results = answer.at("results");
    ASSERT_EQ(results.size(), 9u) << answer.dump(2);
    EXPECT_EQ(results[0], "Step 1: recording started (display)");
    EXPECT_EQ(results[1], "Step 2: spoke \"Welcome to the fixture.\"");
    EXPECT_EQ(results[4], "Step 5: spoke \"The dialog asks us to confirm.\"");
    EXPECT_EQ(results[6], "Step 7: spoke \"Nobody fetched this line before.\"");
    std::string saved = results[7].get<std::string>();
    std::string video = saved.substr(saved.find("→ ") + std::string("→ ").size());
    EXPECT_EQ(results[8], "Audio merged → " + video);
    EXPECT_EQ(vendor.requests().size(), 3u);
    EXPECT_TRUE(app->printed("dialog closed"));

    // The track lasts as long as the video; its sound is two tones, the second spoken
    // after the first had played, and falls silent before the third line, which was not
    // mixed, had been spoken.
    auto probe = probeMedia(video);
    double audio = durationOf(streamOf(probe, "audio")), whole = durationOf(probe.value("format", json()));
    EXPECT_NEAR(audio, whole, 0.3) << probe.dump();
    double soundEnd = soundEndOf(video);
    EXPECT_GE(soundEnd, 2 * kToneSeconds) << probe.dump();
    EXPECT_LE(soundEnd, whole - kToneSeconds + 0.3) << probe.dump();
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

// Waits are bounded: an hour is refused at once. A client that asked for progress hears of
// each step and of each second of a long wait. A demo its client cancels over HTTP (from a
// second connection, as clients do) stops in the middle of a long wait without an answer,
// and the recording it started is finished: its ffmpeg is gone and the video plays.
TEST_F(NarratedDemoTest, LongDemosAreBoundedReportProgressAndStopUnansweredWhenCancelled) {
    json bounded = demo(json::array({{{"action", "wait"}, {"ms", 3'600'000}},
                                     {{"action", "wait_for_tool"}, {"tool", "click_never"}, {"timeout_ms", 3'600'000}}}));
    const std::string refusal = "refused: a wait of 3600000 ms is longer than the 10 minutes allowed";
    EXPECT_EQ(bounded.value("results", json()), json::array({"Step 1: wait " + refusal, "Step 2: wait_for_tool " + refusal}));

    std::vector<json> progress;
    mcp::RequestChannel listening{"", [&](const std::string& text) { progress.push_back(json::parse(text)["params"]); }};
    json waiting = {{"jsonrpc", "2.0"}, {"id", 5}, {"method", "tools/call"},
                    {"params", {{"name", "record_narrated_demo"}, {"_meta", {{"progressToken", "demo-progress"}}},
                                {"arguments", {{"script", {{{"action", "wait"}, {"ms", 2500}}, {{"action", "wave"}}}}}}}}};
    auto waited = mcp::handleRequest(router, waiting.dump(), listening);
    ASSERT_TRUE(waited);
    EXPECT_EQ(json::parse(json::parse(*waited)["result"]["content"][0]["text"].get<std::string>())["results"],
              json::array({"Step 1: waited 2500ms", "Step 2: unknown action 'wave'"}));
    ASSERT_GE(progress.size(), 4u);
    EXPECT_EQ(progress.front(), json({{"progressToken", "demo-progress"}, {"progress", 0}, {"total", 2}, {"message", "Step 1"}}));
    EXPECT_EQ(progress[1], json({{"progressToken", "demo-progress"}, {"progress", 0.4}, {"total", 2},
                                 {"message", "Step 1: waited 1000 of 2500ms"}}));
    EXPECT_EQ(progress[2]["progress"], 0.8);
    EXPECT_EQ(progress.back(), json({{"progressToken", "demo-progress"}, {"progress", 2}, {"total", 2},
                                     {"message", "Demo completed"}}));

    mcp::McpServer server(0, kToken, [this](std::string_view body, const mcp::RequestChannel& channel) {
        return mcp::handleRequest(router, body, channel);
    });
    ASSERT_TRUE(server.start());
    json script = json::array({{{"action", "start_recording"}, {"mode", "display"}},
                               {{"action", "wait"}, {"ms", 600'000}},
                               {{"action", "speak"}, {"text", "Nobody hears this."}},
                               {{"action", "stop_recording"}}});
    json request = {{"jsonrpc", "2.0"}, {"id", "demo-1"}, {"method", "tools/call"},
                    {"params", {{"name", "record_narrated_demo"}, {"arguments", {{"script", script}}}}}};
    auto answer = std::async(std::launch::async, [&] { return sendAndReadAll(server.boundPort(), post(request), 120'000); });
    ASSERT_TRUE(eventually([&] { return recorder->isRecording(); }, std::chrono::seconds(20)));
    auto recorders = processesMentioning(desktop());
    ASSERT_EQ(recorders.size(), 1u) << "one ffmpeg records";

    json cancellation = {{"jsonrpc", "2.0"}, {"method", "notifications/cancelled"}, {"params", {{"requestId", "demo-1"}}}};
    EXPECT_TRUE(sendAndReadAll(server.boundPort(), post(cancellation)).starts_with("HTTP/1.1 204 No Content\r\n"));
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "the demo kept waiting";
    std::string answered = answer.get();
    EXPECT_TRUE(answered.starts_with("HTTP/1.1 204 No Content\r\n")) << answered;
    EXPECT_EQ(answered.find("demo-1"), std::string::npos) << answered;

    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(processesMentioning(desktop()).empty()) << "the recording's ffmpeg ended";
    std::vector<std::string> videos;
    for (const auto& entry : std::filesystem::directory_iterator(desktop())) videos.push_back(entry.path().string());
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_EQ(streamOf(probeMedia(videos[0]), "video").value("codec_name", ""), "h264") << videos[0];
    for (const auto& entry : std::filesystem::directory_iterator(home.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("velmor-narration")) << entry.path();
}

}  // namespace
}  // namespace velmor::test
