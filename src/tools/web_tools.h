#pragma once

#include "browser/browser_session_manager.h"
#include "tools/registry_tool_family.h"
#include "browser/script_injector.h"
#include "tools/tool_router.h"

namespace velmor::tools {

// Plugs in the handlers of inject_webmcp, web_scan, web_action, web_navigate, web_content,
// web_execute_js, web_wait_for, web_handle_dialog and fill_form. `web_scan` refills the sessions' web tools.
void installWebTools(ToolRouter& router, const browser::ScriptInjector& injector,
                     browser::BrowserSessionManager& sessions);

// Runs a scanned web tool through the injector, as `action` (its own when none is given):
// what web_action, fill_form and a call of the tool by its name all do.
nlohmann::json runWebTool(const browser::ScriptInjector& injector, const browser::WebTool& tool,
                          const std::optional<std::string>& action, const std::optional<std::string>& value);

// runWebTool as its own action; for the browser family's fall-through.
WebToolExecutor webToolExecutor(const browser::ScriptInjector& injector);

}  // namespace velmor::tools
