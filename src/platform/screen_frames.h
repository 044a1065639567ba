#pragma once

#include "base/result.h"
#include "platform/windows.h"

#include <cstdint>
#include <vector>

namespace velmor::platform {

// A picture of part of the screen: 8-bit RGB, rows top to bottom.
struct RgbImage {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

// Copies of what the screen shows, for sessions whose screen a recorder cannot read by
// itself (ffmpeg reads an X11 screen directly, a Wayland one only through the compositor).
class ScreenFrames {
public:
    virtual ~ScreenFrames() = default;

    // The area as it shows now, `area` within one output.
    virtual Result<RgbImage> copy(const Frame& area) = 0;
};

}  // namespace velmor::platform
