#pragma once

#include "platform/applications.h"
#include "platform/input.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/gnome_windows.h"

namespace velmor::platform {

// Running applications in a GNOME session: those on the accessibility bus with a visible
// window, identified by their executable's name. mutter lets no client raise another's
// window; activation goes the way a user's keyboard does, through mutter's window switcher
// (Shift+Alt+Tab brings the least recently used window forward), until the application's
// window has the focus.
class GnomeApplications final : public Applications {
public:
    GnomeApplications(AtspiBus& bus, GnomeWindows& windows, Input& input) : bus_(bus), windows_(windows), input_(input) {}

    Result<void> reachable() override;
    std::vector<RunningApplication> regularApplications() override;
    Result<void> activate(int32_t pid) override;
    bool isRunning(const RunningApplication& application) override;
    std::optional<ProcessEnd> howItEnded(const RunningApplication& application) override;

private:
    AtspiBus& bus_;
    GnomeWindows& windows_;
    Input& input_;
};

}  // namespace velmor::platform
