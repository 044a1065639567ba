#pragma once

#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_top_levels.h"
#include "platform/linux/remote_desktop.h"
#include "platform/windows.h"

#include <optional>
#include <vector>

namespace velmor::platform {

// Windows in a GNOME session, as the applications tell them on the accessibility bus: mutter
// tells a client neither where windows are nor whose window is under a point, and offers no
// way to move one. A window's frame has the size its application reports and the origin of
// the screen (x and y unknown: 0); which window has the focus is the one its toolkit marks
// active, as mutter gives the focus to a window's keyboard.
class GnomeWindows final : public Windows {
public:
    GnomeWindows(AtspiBus& bus, RemoteDesktop& session) : bus_(bus), session_(session) {}

    std::vector<WindowInfo> windowsOf(int32_t pid) override;
    std::optional<WindowInfo> focusedWindowOf(int32_t pid) override;
    std::optional<WindowInfo> frontWindowOf(int32_t pid) override;
    // Unknown under GNOME: always nothing.
    std::optional<int32_t> processAt(int, int) override { return std::nullopt; }
    std::optional<int32_t> processWithFocus() override;
    std::optional<Frame> pointer() override { return std::nullopt; }
    // The monitor of the remote desktop session's stream.
    std::optional<Frame> screen() override;
    // mutter moves no window at a client's request: logged, nothing else.
    Result<void> changeFrame(uint64_t window, const FrameChange& change) override;

    // The visible top-levels of every application, or of one process.
    std::vector<AtspiTopLevel> topLevels(std::optional<int32_t> pid = std::nullopt);

private:
    AtspiBus& bus_;
    RemoteDesktop& session_;
};

}  // namespace velmor::platform
