#pragma once

#include "platform/accessibility.h"
#include "platform/applications.h"
#include "platform/windows.h"

namespace velmor::platform {

// The desktop services of this process on a Linux X11 session: AT-SPI for accessibility,
// EWMH for windows. Created on first use, connecting lazily, and never destroyed.
struct DesktopServices {
    Accessibility& accessibility;
    Applications& applications;
    Windows& windows;
};

DesktopServices& linuxDesktop();

}  // namespace velmor::platform
