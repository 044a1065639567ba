#pragma once

#include "automation/session_manager.h"
#include "platform/applications.h"
#include "platform/clipboard.h"
#include "platform/input.h"
#include "platform/menus.h"
#include "platform/windows.h"
#include "tools/tool_router.h"

namespace velmor::tools {

// What the input, clipboard and menu tools act through.
struct InputToolServices {
    platform::Input& input;
    platform::Windows& windows;
    platform::Applications& applications;
    platform::Clipboard& clipboard;
    platform::Menus& menus;
};

// Plugs in the handlers of type_text, press_key, click_at, mouse_move, scroll, drag,
// get_clipboard, set_clipboard, list_menus, menu_click and menu_hover.
void installInputTools(ToolRouter& router, automation::SessionManager& session, const InputToolServices& services);

}  // namespace velmor::tools
