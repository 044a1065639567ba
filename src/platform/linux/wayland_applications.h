#pragma once

#include "platform/applications.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/wlroots_windows.h"
#include "platform/linux/wayland_client.h"

namespace velmor::platform {

// Running applications in a wlroots session: those on the accessibility bus that have a
// window the compositor shows, identified by the window's app id (else the executable's name)
// and activated through the compositor. Where the compositor tells of no windows every
// application on the accessibility bus counts, as nothing else tells which process owns one.
class WaylandApplications final : public Applications {
public:
    WaylandApplications(AtspiBus& bus, WaylandClient& wayland, WlrootsWindows& windows)
        : bus_(bus), wayland_(wayland), windows_(windows) {}

    Result<void> reachable() override;
    std::vector<RunningApplication> regularApplications() override;
    Result<void> activate(int32_t pid) override;
    bool isRunning(const RunningApplication& application) override;
    std::optional<ProcessEnd> howItEnded(const RunningApplication& application) override;

private:
    AtspiBus& bus_;
    WaylandClient& wayland_;
    WlrootsWindows& windows_;
};

}  // namespace velmor::platform
