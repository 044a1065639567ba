#pragma once

#include "platform/linux/x11_display.h"
#include "platform/windows.h"

namespace velmor::platform {

// Window lists, geometry and moves through the window manager's EWMH properties and
// messages.
class X11Windows final : public Windows {
public:
    explicit X11Windows(X11Display& x11) : x11_(x11) {}

    std::vector<WindowInfo> windowsOf(int32_t pid) override;
    std::optional<WindowInfo> focusedWindowOf(int32_t pid) override;
    std::optional<WindowInfo> frontWindowOf(int32_t pid) override;
    std::optional<int32_t> processAt(int x, int y) override;
    std::optional<int32_t> processWithFocus() override;
    std::optional<Frame> pointer() override;
    std::optional<Frame> screen() override;
    Result<void> changeFrame(uint64_t window, const FrameChange& change) override;

private:
    X11Display& x11_;
};

// Helpers for the X11 backends, on the connection withLocked hands out.

// The managed top-level windows, oldest first (or bottom to top when `stacking`). Without
// an EWMH window manager: the mapped children of the root window.
std::vector<Window> clientWindows(X11Connection& x11, bool stacking);
std::optional<int32_t> windowPid(X11Connection& x11, Window window);
WindowInfo describeWindow(X11Connection& x11, Window window);
// The process's topmost normal, viewable, not hidden window; None when it has none.
Window frontWindow(X11Connection& x11, int32_t pid);

}  // namespace velmor::platform
