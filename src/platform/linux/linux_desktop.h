#pragma once

#include "platform/accessibility.h"
#include "platform/applications.h"
#include "platform/clipboard.h"
#include "platform/input.h"
#include "platform/menus.h"
#include "platform/window_capture.h"
#include "platform/windows.h"

namespace velmor::platform {

// The desktop services of this process on a Linux X11 session: AT-SPI for accessibility
// and menus, EWMH for windows, XTest for input, the CLIPBOARD selection, and captures read
// from the X server. Created on first use, connecting lazily, and never destroyed.
struct DesktopServices {
    Accessibility& accessibility;
    Applications& applications;
    Windows& windows;
    Input& input;
    Clipboard& clipboard;
    WindowCapture& capture;
    Menus& menus;
};

DesktopServices& linuxDesktop();

}  // namespace velmor::platform
