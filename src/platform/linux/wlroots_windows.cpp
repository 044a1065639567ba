#include "platform/linux/wlroots_windows.h"

#include "platform/linux/foreign_toplevels.h"

namespace velmor::platform {

namespace {

WindowInfo infoOf(const CompositorWindow& window) { return {window.id, window.title, window.frame}; }

}  // namespace

std::vector<WindowInfo> WlrootsWindows::windowsOf(int32_t pid) {
    std::vector<WindowInfo> windows;
    for (const auto& window : all())
        if (window.pid == pid) windows.push_back(infoOf(window));
    return windows;
}

std::optional<WindowInfo> WlrootsWindows::focusedWindowOf(int32_t pid) {
    for (const auto& window : all())
        if (window.pid == pid && window.focused) return infoOf(window);
    return std::nullopt;
}

std::optional<CompositorWindow> WlrootsWindows::frontOf(const std::vector<CompositorWindow>& windows, int32_t pid) {
    std::optional<CompositorWindow> front;
    for (const auto& window : windows) {
        if (window.pid != pid || !window.visible) continue;
        if (window.focused) return window;
        front = window;
    }
    return front;
}

std::optional<WindowInfo> WlrootsWindows::frontWindowOf(int32_t pid) {
    if (auto front = frontOf(all(), pid)) return infoOf(*front);
    return std::nullopt;
}

std::optional<int32_t> WlrootsWindows::processWithFocus() {
    for (const auto& window : all())
        if (window.focused) return window.pid;
    return std::nullopt;
}

Result<void> UntoldWindows::focus(int32_t) { return fail(kNoForeignToplevels); }

std::string UntoldWindows::source() const {
    return "none: window list and activation unavailable, element presses use accessibility actions (" +
           std::string(kNoForeignToplevels) + ")";
}

Result<void> UntoldWindows::changeFrame(uint64_t, const FrameChange&) { return fail(kNoForeignToplevels); }

}  // namespace velmor::platform
