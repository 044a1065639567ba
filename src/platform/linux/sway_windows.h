#pragma once

#include "platform/linux/sway_ipc.h"
#include "platform/windows.h"

#include <optional>
#include <string>

namespace velmor::platform {

// Windows as sway's layout tree tells them: each with its process and its frame. Without
// sway's IPC socket (another wlroots compositor) no window has a known place, and each
// answer is empty.
class SwayWindows final : public Windows {
public:
    explicit SwayWindows(std::optional<std::string> socket) : socket_(std::move(socket)) {}

    std::vector<WindowInfo> windowsOf(int32_t pid) override;
    std::optional<WindowInfo> focusedWindowOf(int32_t pid) override;
    std::optional<WindowInfo> frontWindowOf(int32_t pid) override;
    std::optional<int32_t> processAt(int x, int y) override;
    std::optional<int32_t> processWithFocus() override;
    // A Wayland client is not told where the pointer is: always nothing.
    std::optional<Frame> pointer() override { return std::nullopt; }
    std::optional<Frame> screen() override;
    void changeFrame(uint64_t window, const FrameChange& change) override;

    // The windows of every process; nothing without sway's IPC.
    std::vector<SwayWindow> all();
    // Where the accessible extents of the process's window with that title (or of its only
    // window) are measured from: the window's origin for a Wayland client, which knows only
    // places within its window; the layout's for an X11 client under XWayland, whose places
    // are the layout's already. Nothing when no window or several answer to it.
    std::optional<Frame> extentsOrigin(int32_t pid, const std::string& title);
    // Gives the process's front window the focus; fails with the reason.
    Result<void> focus(int32_t pid);

private:
    std::optional<std::string> socket_;
};

}  // namespace velmor::platform
