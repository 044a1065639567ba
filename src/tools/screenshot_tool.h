#pragma once

#include "automation/session_manager.h"
#include "platform/window_capture.h"
#include "tools/tool_router.h"

namespace velmor::tools {

// Plugs in the handler of screenshot: the target's frontmost window as a PNG image.
void installScreenshotTool(ToolRouter& router, automation::SessionManager& session, platform::WindowCapture& capture);

}  // namespace velmor::tools
