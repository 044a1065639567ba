#include "platform/linux/wayland_capture.h"

#include "base/log.h"
#include "platform/linux/png_encoder.h"
#include "platform/linux/wayland_screencopy.h"

namespace velmor::platform {

Result<std::vector<uint8_t>> WaylandCapture::captureFrontWindow(int32_t pid) {
    // A compositor that copies nothing is named as the reason, whichever window is meant.
    bool offered = false;
    if (auto reason = wayland_.run([&](WaylandConnection& c) { offered = c.offers("zwlr_screencopy_manager_v1"); }))
        return fail(*reason);
    if (!offered) return fail(kNoScreencopy);
    auto window = windows_.frontWindowOf(pid);
    if (!window) return fail("target app window not found (pid " + std::to_string(pid) + ")");
    Result<RgbImage> image = fail("screenshot capture failed");
    if (auto reason = wayland_.run([&](WaylandConnection& c) { image = copyScreenArea(c, window->frame); }))
        return fail(*reason);
    if (!image) {
        Log::error("wayland", "Screen copy failed: " + image.error());
        // A missing protocol is the user's to know; other failures read as the tool's own.
        return fail(image.error() == kNoScreencopy ? image.error() : "screenshot capture failed");
    }
    auto png = encodePng(image->pixels, image->width, image->height);
    if (!png) return fail("screenshot capture failed");
    return std::move(*png);
}

Result<RgbImage> WaylandScreenFrames::copy(const Frame& area) {
    Result<RgbImage> image = fail("screen copy failed");
    if (auto reason = wayland_.run([&](WaylandConnection& c) { image = copyScreenArea(c, area); })) return fail(*reason);
    return image;
}

}  // namespace velmor::platform
