#pragma once

#include "base/result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// A rectangle in screen coordinates, origin at the top left of the screen.
struct Frame {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A top-level window, measured by its frame: decorations included, as a user sees it.
struct WindowInfo {
    uint64_t id = 0;
    std::optional<std::string> title;
    Frame frame;
};

// A change of a window's frame; absent parts stay as they are.
struct FrameChange {
    std::optional<int> x, y, width, height;
};

class Windows {
public:
    virtual ~Windows() = default;

    // The process's top-level windows, oldest first.
    virtual std::vector<WindowInfo> windowsOf(int32_t pid) = 0;
    // The window that has the focus, when it belongs to the process.
    virtual std::optional<WindowInfo> focusedWindowOf(int32_t pid) = 0;
    // The process's topmost normal window that is on screen (not a menu, tooltip or dock).
    virtual std::optional<WindowInfo> frontWindowOf(int32_t pid) = 0;
    // The process whose window is topmost at the point (screen coordinates); nothing when no
    // window of a known process is there.
    virtual std::optional<int32_t> processAt(int x, int y) = 0;
    // The process whose window has the keyboard focus; nothing when no window of a known
    // process has it.
    virtual std::optional<int32_t> processWithFocus() = 0;
    // Where the pointer is, in screen coordinates; nothing without a display.
    virtual std::optional<Frame> pointer() = 0;
    // The whole screen; nothing without a display.
    virtual std::optional<Frame> screen() = 0;
    // Moves and resizes a window's frame. Returns before the window manager has done so;
    // fails with the reason where windows cannot be moved.
    virtual Result<void> changeFrame(uint64_t window, const FrameChange& change) = 0;
};

}  // namespace velmor::platform
