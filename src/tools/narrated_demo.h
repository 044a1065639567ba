#pragma once

#include "automation/session_manager.h"
#include "browser/browser_session_manager.h"
#include "media/audio_player.h"
#include "media/tts_manager.h"
#include "media/window_recorder.h"
#include "platform/menus.h"
#include "tools/tool_router.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

namespace velmor::tools {

// What a narrated demo drives: the tools, the session's target, the browser's tools, the
// recorder, the voices, and ffmpeg for the final merge.
struct NarratedDemoServices {
    const ToolRouter& router;
    automation::SessionManager& session;
    browser::BrowserSessionManager& browserSessions;
    platform::Menus& menus;
    media::WindowRecorder& recorder;
    media::TTSManager& speech;
    media::AudioPlayer& player;
    std::string ffmpegProgram;
    // Where each run makes its private folder for narration clips.
    std::filesystem::path temporaryFolder;
};

// Runs a demo script from start to end: every step is tried, a failing one becomes a line
// of the answer and the script goes on. Narration that has audio (cached cloud audio, or
// the system voice's rendering) is laid under the recording at the moment it was spoken.
// Answers {"status": "completed", "steps_executed", "results"}.
nlohmann::json executeNarratedDemo(const NarratedDemoServices& services, const nlohmann::json& script);

}  // namespace velmor::tools
