#pragma once

#include "automation/session_manager.h"
#include "platform/accessibility.h"
#include "platform/applications.h"
#include "platform/input.h"
#include "platform/windows.h"
#include "tools/tool_router.h"

namespace velmor::tools {

// What fill_cell reads the sheet through and types with.
struct CellToolServices {
    platform::Accessibility& accessibility;
    platform::Input& input;
    platform::Windows& windows;
    platform::Applications& applications;
};

// Plugs in the handler of fill_cell.
void installCellTools(ToolRouter& router, automation::SessionManager& session, const CellToolServices& services);

}  // namespace velmor::tools
