#include "platform/linux/mutter_capture.h"

#include "base/log.h"
#include "platform/linux/png_encoder.h"

namespace velmor::platform {

Result<RgbImage> MutterScreenFrames::copy(const Frame& area) {
    auto stream = session_.stream();
    VELMOR_RETURN_IF_FAILED(stream);
    const Frame& monitor = stream->monitor;
    return frames_.copy(*stream, {area.x - monitor.x, area.y - monitor.y, area.width, area.height});
}

Result<std::vector<uint8_t>> MutterCapture::captureFrontWindow(int32_t pid) {
    auto window = windows_.frontWindowOf(pid);
    if (!window) return fail("target app window not found (pid " + std::to_string(pid) + ")");
    auto stream = session_.stream();
    VELMOR_RETURN_IF_FAILED(stream);
    auto image = frames_.copy(stream->monitor);
    if (!image) {
        Log::error("gnome", "Screen cast frame failed: " + image.error());
        return fail("screenshot capture failed");
    }
    auto png = encodePng(image->pixels, image->width, image->height);
    if (!png) return fail("screenshot capture failed");
    return std::move(*png);
}

}  // namespace velmor::platform
