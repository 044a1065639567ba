#pragma once

#include "platform/desktop.h"

#include <memory>

namespace velmor::platform {

// How Velmor reaches mutter's remote desktop and screen cast: its own session services, or
// the desktop portal in front of them, which asks the user first.
enum class MutterAccess { direct, portal };

// The desktop of a GNOME Wayland session (mutter): AT-SPI for accessibility, menus and the
// windows, mutter's remote desktop session for input, its screen cast (through PipeWire)
// for screenshots and recordings.
std::unique_ptr<Desktop> openGnomeDesktop(MutterAccess access);

}  // namespace velmor::platform
