#include "platform/linux/sway_windows.h"

#include "base/log.h"

namespace velmor::platform {

std::vector<CompositorWindow> SwayWindows::all() {
    auto windows = SwayIpc(socket_).windows();
    if (!windows) {
        Log::error("wayland", "Reading sway's windows failed: " + windows.error());
        return {};
    }
    return std::move(*windows);
}

std::optional<int32_t> SwayWindows::processAt(int x, int y) {
    // Without the stacking order, the focused window wins where it is, else the newest of
    // the visible ones there: dialogs and other new windows come up on top.
    std::optional<CompositorWindow> top;
    for (const auto& window : all()) {
        const Frame& f = window.frame;
        if (!window.visible || x < f.x || y < f.y || x >= f.x + f.width || y >= f.y + f.height) continue;
        if (window.focused) return window.pid;
        if (!top || window.id > top->id) top = window;
    }
    if (!top) return std::nullopt;
    return top->pid;
}

std::optional<Frame> SwayWindows::screen() {
    auto layout = SwayIpc(socket_).layout();
    if (!layout || layout->width <= 0 || layout->height <= 0) return std::nullopt;
    return *layout;
}

Result<void> SwayWindows::changeFrame(uint64_t window, const FrameChange& change) {
    std::optional<Frame> now;
    for (const auto& candidate : all())
        if (candidate.id == window) now = candidate.frame;
    if (!now) return fail("the window is gone");
    // A tiled window takes the place the layout gives it: floating, it takes the one asked
    // for. The criteria apply to every command after them up to the next ';'.
    std::string commands = "[con_id=" + std::to_string(window) + "] floating enable, resize set width " +
                           std::to_string(change.width.value_or(now->width)) + " px height " +
                           std::to_string(change.height.value_or(now->height)) + " px, move absolute position " +
                           std::to_string(change.x.value_or(now->x)) + " " + std::to_string(change.y.value_or(now->y));
    return SwayIpc(socket_).command(commands);
}

std::optional<Frame> SwayWindows::extentsOrigin(int32_t pid, const std::string& title) {
    std::vector<CompositorWindow> owned;
    for (auto& window : all())
        if (window.pid == pid) owned.push_back(std::move(window));
    const CompositorWindow* chosen = nullptr;
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
    std::optional<uint64_t> front;
    for (const auto& window : all())
        if (window.pid == pid) front = window.id;
    if (!front) return fail("process " + std::to_string(pid) + " has no window");
    return SwayIpc(socket_).command("[con_id=" + std::to_string(*front) + "] focus");
}

}  // namespace velmor::platform
