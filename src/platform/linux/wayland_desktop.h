#pragma once

#include "platform/desktop.h"

#include <memory>

namespace velmor::platform {

// The desktop of a Wayland session on a wlroots compositor (sway, Hyprland, river, labwc):
// AT-SPI for accessibility and menus, the wlroots protocols for input, screen copies and the
// clipboard, and sway's IPC (else the compositor's toplevel list) for the windows.
std::unique_ptr<Desktop> openWlrootsDesktop();

}  // namespace velmor::platform
