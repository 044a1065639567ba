#include "platform/linux/linux_desktop.h"

#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/atspi_menus.h"
#include "platform/linux/desktop_applications.h"
#include "platform/linux/x11_capture.h"
#include "platform/linux/x11_clipboard.h"
#include "platform/linux/x11_input.h"
#include "platform/linux/x11_windows.h"

namespace velmor::platform {

DesktopServices& linuxDesktop() {
    static auto* accessibility = new AtspiAccessibility(AtspiBus::shared());
    static auto* applications = new DesktopApplications(AtspiBus::shared(), X11Display::shared());
    static auto* windows = new X11Windows(X11Display::shared());
    static auto* input = new X11Input(X11Display::shared());
    static auto* clipboard = new X11Clipboard(X11Display::shared());
    static auto* capture = new X11Capture(X11Display::shared());
    static auto* menus = new AtspiMenus(AtspiBus::shared(), *input);
    static auto* services =
        new DesktopServices{*accessibility, *applications, *windows, *input, *clipboard, *capture, *menus};
    return *services;
}

}  // namespace velmor::platform
