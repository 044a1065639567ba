#pragma once

#include "platform/desktop.h"

#include <memory>

namespace velmor::platform {

// The desktop of a GNOME Wayland session (mutter): AT-SPI for accessibility, menus and the
// windows, mutter's remote desktop session for input, its screen cast (through PipeWire)
// for screenshots and recordings.
std::unique_ptr<Desktop> openGnomeDesktop();

}  // namespace velmor::platform
