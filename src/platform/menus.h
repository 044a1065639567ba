#pragma once

#include "base/result.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmor::platform {

// One menu of a menu bar with the names of its items; unnamed items (separators) are not
// among them.
struct MenuListing {
    std::string menu;
    std::vector<std::string> items;
};

// The menu bar of an application's windows.
class Menus {
public:
    virtual ~Menus() = default;

    // The menus in menu-bar order; nothing when the application has no menu bar. Where the
    // entries show only while their menu is open (GTK 4), the menus are opened from the
    // keyboard, after `bringToFront` has put the application's window in front (false
    // when it could not: they are then left closed and unlisted).
    virtual std::vector<MenuListing> listMenus(int32_t pid, const std::function<bool()>& bringToFront) = 0;
    // Follows `path` (a menu of the bar, then the items down to the last one), opening the
    // menus on the way, and chooses the last item. Fails with the message for the agent:
    // "can't find process name for PID <pid>" when no such application is on the desktop,
    // else "menu click failed: <why>".
    virtual Result<void> click(int32_t pid, const std::vector<std::string>& path) = 0;
    // Opens the menus along `path` and highlights its last item without choosing it. Fails
    // as click does, with "menu hover failed: <why>".
    virtual Result<void> hover(int32_t pid, const std::vector<std::string>& path) = 0;
};

}  // namespace velmor::platform
