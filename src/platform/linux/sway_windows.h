#pragma once

#include "platform/linux/sway_ipc.h"
#include "platform/linux/wlroots_windows.h"

#include <optional>
#include <string>

namespace velmor::platform {

// Windows as sway's layout tree tells them: each with its process and its frame.
class SwayWindows final : public WlrootsWindows {
public:
    explicit SwayWindows(std::string socket) : socket_(std::move(socket)) {}

    std::vector<CompositorWindow> all() override;
    // The window's origin for a Wayland client, which knows only places within its window;
    // the layout's for an X11 client under XWayland, whose places are the layout's already.
    // Nothing when no window or several answer to the title.
    std::optional<Frame> extentsOrigin(int32_t pid, const std::string& title) override;
    Result<void> focus(int32_t pid) override;
    std::string source() const override { return "sway IPC at " + socket_; }

    std::optional<int32_t> processAt(int x, int y) override;
    std::optional<Frame> screen() override;
    Result<void> changeFrame(uint64_t window, const FrameChange& change) override;

private:
    std::string socket_;
};

}  // namespace velmor::platform
