#pragma once

#include <filesystem>

#include "media/tts_manager.h"
#include "tools/tool_router.h"

namespace velmor::tools {

// Plugs in configure_tts, speak and prefetch_audio. `configFile` is the shared
// configuration file where configure_tts keeps the chosen provider and its key.
void installSpeechTools(ToolRouter& router, media::TTSManager& speech, std::filesystem::path configFile);

}  // namespace velmor::tools
