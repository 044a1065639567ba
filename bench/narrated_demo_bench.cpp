// A 30 s narrated demo of the GTK fixture: 10 steps, 5 lines in the system voice.
//
//   scripts/desktop-stack-up.sh build/desktop-stack && . build/desktop-stack/env.sh
//   build/bench/velmor_narrated_demo_bench
//
// Target: the whole call takes under 1.2 times the script's own waits and speech, and the
// final file has audio and video of (about) equal length.
#include "bench_stats.h"
#include "fixtures/desktop_listing.h"
#include "flows/flow_store.h"
#include "media/audio_player.h"
#include "media/media_probe.h"
#include "media/tts_engine.h"
#include "media/tts_manager.h"
#include "media/window_recorder.h"
#include "fixtures/desktop_listing.h"
#include "support/child_process.h"
#include "support/temp_home.h"
#include "tools/app_control_tools.h"
#include "tools/recording_tools.h"

#include <cstdio>

int main() {
    using nlohmann::json;
    velmor::test::TempHome home;
    velmor::test::ChildProcess app({VELMOR_FIXTURE_APP});
    if (!velmor::test::fixtureReadyOnTheDesktop(app)) {
        std::fprintf(stderr, "the fixture did not show up (source the desktop stack's env.sh)\n");
        return 1;
    }
    auto& desktop = velmor::test::testDesktop();
    velmor::flows::FlowStore flows(home.path() + "/flows.db");
    velmor::automation::SessionManager session(desktop.accessibility, desktop.applications, desktop.windows,
                                               desktop.input, flows);
    velmor::tools::ToolRouter router({.elements = velmor::tools::sessionElementTools(session)});
    velmor::browser::BrowserSessionManager browserSessions;
    velmor::media::TTSEngine systemVoice;
    velmor::media::AudioPlayer player;
    velmor::media::TTSManager speech(systemVoice, {});
    velmor::media::WindowRecorder recorder("ffmpeg", home.path() + "/Desktop", desktop.windows);
    velmor::tools::installRecordingTools(
        router, {router, session, browserSessions, desktop.menus, recorder, speech, player, "ffmpeg", home.path()},
        home.path() + "/Desktop");
    if (auto started = session.startSession("velmor-fixture-" + std::to_string(app.pid()), std::nullopt); !started) {
        std::fprintf(stderr, "session_start: %s\n", started.error().c_str());
        return 1;
    }

    std::vector<std::string> lines{"Here is the fixture application, a small form.",
                                   "First we type a search into the search field.",
                                   "Then we open the dialog with its button.",
                                   "The dialog asks us to confirm, and we do.",
                                   "That is all there is to it. Thank you for watching."};
    // The script's own time: its waits plus how long each line takes to say.
    double ownSeconds = 2 * 3.0;
    for (const auto& line : lines) {
        auto wav = systemVoice.renderWav(line, std::nullopt);
        if (wav) ownSeconds += (wav->size() - 44) / 44100.0;  // espeak-ng: 22050 Hz, 16-bit mono
    }
    json script = json::array({{{"action", "start_recording"}, {"mode", "display"}},
                               {{"action", "speak"}, {"text", lines[0]}},
                               {{"action", "wait"}, {"ms", 3000}},
                               {{"action", "speak"}, {"text", lines[1]}},
                               {{"action", "fill"}, {"tool", "fill_search"}, {"value", "narrated demo"}},
                               {{"action", "speak"}, {"text", lines[2]}},
                               {{"action", "click"}, {"tool", "click_open_dialog"}},
                               {{"action", "speak"}, {"text", lines[3]}},
                               {{"action", "click"}, {"tool", "click_confirm"}},
                               {{"action", "speak"}, {"text", lines[4]}},
                               {{"action", "wait"}, {"ms", 3000}},
                               {{"action", "stop_recording"}}});
    auto start = std::chrono::steady_clock::now();
    json answer = router.callTool("record_narrated_demo", {{"script", script}}).result();
    double took = velmor::bench::millisecondsSince(start) / 1000;
    std::string last = answer.at("results").back().get<std::string>();
    std::string video = last.substr(last.find("→ ") + std::string("→ ").size());
    auto probe = velmor::test::probeMedia(video);
    std::printf("narrated demo of %zu steps, 5 lines: %.1f s against %.1f s of waits and speech (%.2fx)\n",
                script.size(), took, ownSeconds, took / ownSeconds);
    std::printf("  video %.2f s, audio %.2f s; %s\n",
                velmor::test::durationOf(velmor::test::streamOf(probe, "video")),
                velmor::test::durationOf(velmor::test::streamOf(probe, "audio")), last.c_str());
}
