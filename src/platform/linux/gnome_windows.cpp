#include "platform/linux/gnome_windows.h"

#include <functional>

namespace velmor::platform {

namespace {

WindowInfo infoOf(const AtspiTopLevel& window) {
    WindowInfo info;
    info.id = std::hash<std::string>{}(window.busName + window.path);
    info.title = window.name;
    info.frame = {0, 0, window.extents.width, window.extents.height};
    return info;
}

}  // namespace

std::vector<AtspiTopLevel> GnomeWindows::topLevels(std::optional<int32_t> pid) {
    return bus_.withLocked([&](AtspiConnection& atspi) {
        std::vector<AtspiTopLevel> all;
        for (const auto& entry : atspi.applications(false)) {
            if (pid && entry.pid != *pid) continue;
            for (auto& window : topLevelsOf(atspi, entry.busName, entry.pid))
                if (window.visible) all.push_back(std::move(window));
        }
        return all;
    });
}

std::vector<WindowInfo> GnomeWindows::windowsOf(int32_t pid) {
    std::vector<WindowInfo> windows;
    for (const auto& window : topLevels(pid)) windows.push_back(infoOf(window));
    return windows;
}

std::optional<WindowInfo> GnomeWindows::focusedWindowOf(int32_t pid) {
    for (const auto& window : topLevels(pid))
        if (window.active) return infoOf(window);
    return std::nullopt;
}

std::optional<WindowInfo> GnomeWindows::frontWindowOf(int32_t pid) {
    auto windows = topLevels(pid);
    for (const auto& window : windows)
        if (window.active) return infoOf(window);
    // Without the focus, the newest window is the one most likely in front.
    if (!windows.empty()) return infoOf(windows.back());
    return std::nullopt;
}

std::optional<int32_t> GnomeWindows::processWithFocus() {
    for (const auto& window : topLevels())
        if (window.active) return window.pid;
    return std::nullopt;
}

std::optional<Frame> GnomeWindows::screen() {
    auto stream = session_.stream();
    if (!stream || stream->monitor.width <= 0) return std::nullopt;
    return stream->monitor;
}

Result<void> GnomeWindows::changeFrame(uint64_t, const FrameChange&) {
    return fail("GNOME lets no other program move or resize an application's window (that needs a GNOME Shell "
                "extension)");
}

}  // namespace velmor::platform
