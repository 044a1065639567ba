#include "platform/linux/linux_desktop.h"

#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/desktop_applications.h"
#include "platform/linux/x11_windows.h"

namespace velmor::platform {

DesktopServices& linuxDesktop() {
    static auto* accessibility = new AtspiAccessibility(AtspiBus::shared());
    static auto* applications = new DesktopApplications(AtspiBus::shared(), X11Display::shared());
    static auto* windows = new X11Windows(X11Display::shared());
    static auto* services = new DesktopServices{*accessibility, *applications, *windows};
    return *services;
}

}  // namespace velmor::platform
