#pragma once

#include "platform/linux/x11_display.h"
#include "platform/window_capture.h"

namespace velmor::platform {

// Captures a window from the screen through the process's X connection. Without a
// compositor the screen holds only what is visible, so a covered window is raised first.
class X11Capture final : public WindowCapture {
public:
    explicit X11Capture(X11Display& x11) : x11_(x11) {}

    Result<std::vector<uint8_t>> captureFrontWindow(int32_t pid) override;

private:
    X11Display& x11_;
};

}  // namespace velmor::platform
