#pragma once

#include "platform/applications.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/x11_display.h"

namespace velmor::platform {

// Running applications: those on the accessibility bus that own a top-level X window.
// Identified by _GTK_APPLICATION_ID, else WM_CLASS, else the executable's name; activated
// through the window manager (_NET_ACTIVE_WINDOW), or raised and focused without one.
class DesktopApplications final : public Applications {
public:
    DesktopApplications(AtspiBus& bus, X11Display& x11) : bus_(bus), x11_(x11) {}

    Result<void> reachable() override;
    std::vector<RunningApplication> regularApplications() override;
    Result<void> activate(int32_t pid) override;
    bool isRunning(const RunningApplication& application) override;
    std::optional<ProcessEnd> howItEnded(const RunningApplication& application) override;

private:
    AtspiBus& bus_;
    X11Display& x11_;
};

}  // namespace velmor::platform
