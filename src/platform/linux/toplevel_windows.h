#pragma once

#include "platform/linux/atspi_bus.h"
#include "platform/linux/foreign_toplevels.h"
#include "platform/linux/wayland_client.h"
#include "platform/linux/wlroots_windows.h"

namespace velmor::platform {

// Windows as a wlroots compositor without sway's IPC tells them (zwlr_foreign_toplevel_management_v1):
// titles, app ids and which one is active, but neither processes nor places. Each window is
// joined to the process whose accessible top-level window has its title (the app id settles a
// title several processes use), and takes that accessible window's extents as its frame: a
// Wayland client knows its size, not its place, so such a frame starts at 0,0, and its
// elements are pressed through their actions.
class ToplevelWindows final : public WlrootsWindows {
public:
    ToplevelWindows(WaylandClient& wayland, AtspiBus& bus) : wayland_(wayland), bus_(bus), toplevels_(wayland) {}

    std::vector<CompositorWindow> all() override;
    std::optional<Frame> extentsOrigin(int32_t, const std::string&) override { return std::nullopt; }
    Result<void> focus(int32_t pid) override;
    std::string source() const override {
        return "zwlr_foreign_toplevel_management_v1 (no sway IPC): window places unknown, element presses use "
               "accessibility actions";
    }

    // The point's window is not told, nor the stacking order.
    std::optional<int32_t> processAt(int, int) override { return std::nullopt; }
    // The outputs' layout.
    std::optional<Frame> screen() override;
    Result<void> changeFrame(uint64_t window, const FrameChange& change) override;

private:
    WaylandClient& wayland_;
    AtspiBus& bus_;
    ForeignToplevels toplevels_;
};

}  // namespace velmor::platform
