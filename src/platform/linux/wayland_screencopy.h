#pragma once

#include "base/result.h"
#include "platform/linux/wayland_client.h"
#include "platform/screen_frames.h"

#include <cstdint>
#include <vector>

namespace velmor::platform {

// Copies what the compositor shows through zwlr_screencopy_v1 into shared memory. Runs on
// the connection's owner thread (inside WaylandClient::run). `area` in layout coordinates
// must lie on one output; it is cut to that output.
Result<RgbImage> copyScreenArea(WaylandConnection& connection, const Frame& area);

// The error for a compositor that offers no screen copies.
extern const char* const kNoScreencopy;

}  // namespace velmor::platform
