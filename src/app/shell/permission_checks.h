#pragma once

#include "platform/desktop.h"

#include <cstdint>
#include <string>
#include <vector>

// What the tools need from this desktop, checked the way a user can put right: each check
// is one of the guide's cards. The checks talk to the accessibility bus, the X server and
// the browser, so they run off the main loop. Threads: they use Velmor's own connections
// (the desktop's AT-SPI connection and X11 display, each under its lock, and a session bus
// connection of their own), never GTK's display or the accessibility connection GTK's
// bridge dispatches; only their answer goes back to the main loop.
namespace velmor::shell {

struct Permission {
    std::string key;
    std::string name;
    std::string icon;  // a standard icon name of the desktop's theme
    std::string description;
};

// The cards, in the order the guide shows them.
const std::vector<Permission>& permissions();

struct PermissionStates {
    bool accessibility = false;  // the accessibility bus answers and is switched on
    bool browser = false;        // a browser's DevTools endpoint answers on its port
    bool menus = false;          // applications publish their windows and menus on the bus
    bool screenCapture = false;  // windows of other applications can be read from the screen

    bool granted(const std::string& key) const;
    // What the guide waits for before it stays away: the accessibility bus. The browser
    // endpoint is only there while a browser runs with it, so it never holds the guide open.
    bool allRequiredGranted() const { return accessibility; }
    // Every card green: what "All Permissions Granted" claims.
    bool allGranted() const { return accessibility && browser && menus && screenCapture; }
};

PermissionStates checkPermissions(platform::Desktop& desktop, uint16_t devToolsPort);

}  // namespace velmor::shell
