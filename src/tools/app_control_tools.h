#pragma once

#include "automation/session_manager.h"
#include "platform/windows.h"
#include "tools/tool_families.h"
#include "tools/tool_router.h"

#include <memory>

namespace velmor::tools {

// Plugs in the handlers of session_start, session_end, get_page_info, list_apps,
// activate_app, get_windows and set_window_frame.
void installAppControlTools(ToolRouter& router, automation::SessionManager& session, platform::Windows& windows);

// The element tools of the session's last scan, for tools/list and the fall-through of
// tools/call.
std::shared_ptr<ElementToolFamily> sessionElementTools(automation::SessionManager& session);

}  // namespace velmor::tools
