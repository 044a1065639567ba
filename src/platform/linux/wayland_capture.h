#pragma once

#include "platform/linux/sway_windows.h"
#include "platform/linux/wayland_client.h"
#include "platform/screen_frames.h"
#include "platform/window_capture.h"

namespace velmor::platform {

// Captures a window's rectangle from what the compositor shows (zwlr_screencopy_v1), the
// rectangle taken from the window list. A compositor draws every window whole, so nothing
// is raised first.
class WaylandCapture final : public WindowCapture {
public:
    WaylandCapture(WaylandClient& wayland, Windows& windows) : wayland_(wayland), windows_(windows) {}

    Result<std::vector<uint8_t>> captureFrontWindow(int32_t pid) override;

private:
    WaylandClient& wayland_;
    Windows& windows_;
};

// Frames for recordings, copied from the compositor (zwlr_screencopy_v1).
class WaylandScreenFrames final : public ScreenFrames {
public:
    explicit WaylandScreenFrames(WaylandClient& wayland) : wayland_(wayland) {}

    Result<RgbImage> copy(const Frame& area) override;

private:
    WaylandClient& wayland_;
};

}  // namespace velmor::platform
