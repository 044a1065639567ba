#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace velmor::platform {

// An 8-bit RGB image (rows top to bottom, three bytes a pixel) as the bytes of a PNG file,
// compressed for speed rather than size. Nothing when encoding fails.
std::optional<std::vector<uint8_t>> encodePng(const std::vector<uint8_t>& rgb, int width, int height);

}  // namespace velmor::platform
