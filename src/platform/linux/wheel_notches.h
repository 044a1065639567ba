#pragma once

#include <algorithm>
#include <cstdlib>

namespace velmor::platform {

// A wheel notch stands for this many pixels of scrolling, on every backend.
inline constexpr int kPixelsPerNotch = 20;
inline constexpr int kMaxNotches = 200;

// The notches that scroll by `pixels` (rounded up: any scroll moves), without their sign.
inline int wheelNotches(int pixels) {
    return pixels == 0 ? 0 : std::clamp((std::abs(pixels) + kPixelsPerNotch - 1) / kPixelsPerNotch, 1, kMaxNotches);
}

}  // namespace velmor::platform
