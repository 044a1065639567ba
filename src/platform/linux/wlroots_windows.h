#pragma once

#include "base/result.h"
#include "platform/windows.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// A window as the compositor (or, where it tells less, the accessibility bus) describes it.
struct CompositorWindow {
    uint64_t id = 0;  // grows with each new window
    int32_t pid = 0;
    std::optional<std::string> title;
    std::optional<std::string> appId;  // the Wayland app id, or the X11 class under XWayland
    Frame frame;
    bool focused = false;
    bool visible = false;
    bool xwayland = false;  // an X11 client under XWayland, which knows where its window is
};

// The windows of a wlroots session, from whichever source the compositor offers. The
// questions about one process's windows are answered from the whole list.
class WlrootsWindows : public Windows {
public:
    // Every process's windows, oldest first; nothing when the compositor tells none.
    virtual std::vector<CompositorWindow> all() = 0;
    // Where the accessible extents of the process's window with that title are measured
    // from; nothing when its place is unknown.
    virtual std::optional<Frame> extentsOrigin(int32_t pid, const std::string& title) = 0;
    // Gives the process's front window the focus; fails with the reason.
    virtual Result<void> focus(int32_t pid) = 0;
    // Where the windows come from, for the log.
    virtual std::string source() const = 0;

    std::vector<WindowInfo> windowsOf(int32_t pid) override;
    std::optional<WindowInfo> focusedWindowOf(int32_t pid) override;
    std::optional<WindowInfo> frontWindowOf(int32_t pid) override;
    std::optional<int32_t> processWithFocus() override;
    // A Wayland client is not told where the pointer is: always nothing.
    std::optional<Frame> pointer() override { return std::nullopt; }

protected:
    // The front one of the process's windows: the focused one, else the newest visible one
    // (the stacking order is not told).
    static std::optional<CompositorWindow> frontOf(const std::vector<CompositorWindow>& windows, int32_t pid);
};

// A compositor that tells of no windows at all: every question has no answer, and what
// needs a window says which protocol is missing.
class UntoldWindows final : public WlrootsWindows {
public:
    std::vector<CompositorWindow> all() override { return {}; }
    std::optional<Frame> extentsOrigin(int32_t, const std::string&) override { return std::nullopt; }
    Result<void> focus(int32_t pid) override;
    std::string source() const override;
    std::optional<int32_t> processAt(int, int) override { return std::nullopt; }
    std::optional<Frame> screen() override { return std::nullopt; }
    Result<void> changeFrame(uint64_t, const FrameChange&) override;
};

}  // namespace velmor::platform
