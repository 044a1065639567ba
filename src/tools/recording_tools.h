#pragma once

#include "tools/narrated_demo.h"
#include "tools/tool_router.h"

#include <filesystem>

namespace velmor::tools {

// Plugs in the handlers of start_recording, stop_recording and record_narrated_demo.
// `recordingsFolder` is where the recorder writes, searched for a usable file when the writer
// reports an error.
void installRecordingTools(ToolRouter& router, NarratedDemoServices demo, std::filesystem::path recordingsFolder);

}  // namespace velmor::tools
