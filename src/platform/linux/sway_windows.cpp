#include "platform/linux/sway_windows.h"

#include "base/log.h"

namespace velmor::platform {

namespace {

WindowInfo infoOf(const SwayWindow& window) { return {window.id, window.title, window.frame}; }

}  // namespace

std::vector<SwayWindow> SwayWindows::all() {
    if (!socket_) return {};
    auto windows = SwayIpc(*socket_).windows();
    if (!windows) {
        Log::error("wayland", "Reading sway's windows failed: " + windows.error());
        return {};
    }
    return std::move(*windows);
}

std::vector<WindowInfo> SwayWindows::windowsOf(int32_t pid) {
    std::vector<WindowInfo> windows;
    for (const auto& window : all())
        if (window.pid == pid) windows.push_back(infoOf(window));
    return windows;
}

std::optional<WindowInfo> SwayWindows::focusedWindowOf(int32_t pid) {
    for (const auto& window : all())
        if (window.pid == pid && window.focused) return infoOf(window);
    return std::nullopt;
}

std::optional<WindowInfo> SwayWindows::frontWindowOf(int32_t pid) {
    // sway tells which window has the focus and which are visible, not how they stack:
    // the focused one is in front, else the newest visible one.
    std::optional<WindowInfo> front;
    for (const auto& window : all()) {
        if (window.pid != pid || !window.visible) continue;
        if (window.focused) return infoOf(window);
        front = infoOf(window);
    }
    return front;
}

std::optional<int32_t> SwayWindows::processAt(int x, int y) {
    // Without the stacking order, the focused window wins where it is, else the newest of
    // the visible ones there: dialogs and other new windows come up on top.
    std::optional<SwayWindow> top;
    for (const auto& window : all()) {
        const Frame& f = window.frame;
        if (!window.visible || x < f.x || y < f.y || x >= f.x + f.width || y >= f.y + f.height) continue;
        if (window.focused) return window.pid;
        if (!top || window.id > top->id) top = window;
    }
    if (!top) return std::nullopt;
    return top->pid;
}

std::optional<int32_t> SwayWindows::processWithFocus() {
    for (const auto& window : all())
        if (window.focused) return window.pid;
    return std::nullopt;
}

std::optional<Frame> SwayWindows::screen() {
    if (!socket_) return std::nullopt;
    auto layout = SwayIpc(*socket_).layout();
    if (!layout || layout->width <= 0 || layout->height <= 0) return std::nullopt;
    return *layout;
}

void SwayWindows::changeFrame(uint64_t window, const FrameChange& change) {
    if (!socket_) return;
    std::optional<Frame> now;
    for (const auto& candidate : all())
        if (candidate.id == window) now = candidate.frame;
    if (!now) return;
    // A tiled window takes the place the layout gives it: floating, it takes the one asked
    // for. The criteria apply to every command after them up to the next ';'.
    std::string commands = "[con_id=" + std::to_string(window) + "] floating enable, resize set width " +
                           std::to_string(change.width.value_or(now->width)) + " px height " +
                           std::to_string(change.height.value_or(now->height)) + " px, move absolute position " +
                           std::to_string(change.x.value_or(now->x)) + " " + std::to_string(change.y.value_or(now->y));
    if (auto done = SwayIpc(*socket_).command(commands); !done) Log::error("wayland", done.error());
}

std::optional<Frame> SwayWindows::extentsOrigin(int32_t pid, const std::string& title) {
    std::vector<SwayWindow> owned;
    for (auto& window : all())
        if (window.pid == pid) owned.push_back(std::move(window));
    const SwayWindow* chosen = nullptr;
    int sameName = 0;
    for (const auto& window : owned) {
        if (window.title == title) chosen = &window, ++sameName;
    }
    if (sameName != 1) chosen = owned.size() == 1 ? &owned.front() : nullptr;
    if (!chosen) return std::nullopt;
    if (chosen->xwayland) return Frame{};
    return chosen->frame;
}

Result<void> SwayWindows::focus(int32_t pid) {
    if (!socket_) return fail("no sway IPC socket");
    std::optional<uint64_t> front;
    for (const auto& window : all())
        if (window.pid == pid) front = window.id;
    if (!front) return fail("process " + std::to_string(pid) + " has no window");
    return SwayIpc(*socket_).command("[con_id=" + std::to_string(*front) + "] focus");
}

}  // namespace velmor::platform
