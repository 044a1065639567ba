#include "platform/linux/wayland_screencopy.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace velmor::platform {

const char* const kNoScreencopy =
    "this Wayland compositor offers no screen copies; screenshots and recordings need a compositor with the "
    "wlr-screencopy protocol (zwlr_screencopy_manager_v1), such as sway, or the ScreenCast service";

namespace {

constexpr int kCopyTimeoutMs = 5000;
// The largest copy taken: an 8K output.
constexpr uint32_t kMaxSide = 8192;
constexpr size_t kMaxBytes = size_t{7680} * 4320 * 4;

struct FrameState {
    uint32_t format = 0, width = 0, height = 0, stride = 0, flags = 0;
    bool described = false, listed = false, ready = false, failed = false;
};

const zwlr_screencopy_frame_v1_listener kFrameListener{
    .buffer = [](void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                 uint32_t stride) {
        auto* s = static_cast<FrameState*>(data);
        *s = {format, width, height, stride, s->flags, true, s->listed, false, false};
    },
    .flags = [](void* data, zwlr_screencopy_frame_v1*, uint32_t flags) { static_cast<FrameState*>(data)->flags = flags; },
    .ready = [](void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
        static_cast<FrameState*>(data)->ready = true;
    },
    .failed = [](void* data, zwlr_screencopy_frame_v1*) { static_cast<FrameState*>(data)->failed = true; },
    .damage = [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {},
    .linux_dmabuf = [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {},
    .buffer_done = [](void* data, zwlr_screencopy_frame_v1*) { static_cast<FrameState*>(data)->listed = true; },
};

// Where each colour lies in a pixel of the 32-bit formats wlroots offers (little-endian words).
bool channelOffsets(uint32_t format, int& r, int& g, int& b) {
    switch (format) {
        case WL_SHM_FORMAT_ARGB8888:
        case WL_SHM_FORMAT_XRGB8888: r = 2, g = 1, b = 0; return true;
        case WL_SHM_FORMAT_ABGR8888:
        case WL_SHM_FORMAT_XBGR8888: r = 0, g = 1, b = 2; return true;
        default: return false;
    }
}

}  // namespace

Result<RgbImage> copyScreenArea(WaylandConnection& c, const Frame& area) {
    if (!c.shm) return fail("this Wayland compositor offers no shared memory (wl_shm)");
    auto* manager = static_cast<zwlr_screencopy_manager_v1*>(c.bind(&zwlr_screencopy_manager_v1_interface, 3));
    if (!manager) return fail(kNoScreencopy);
    struct ManagerCloser {
        zwlr_screencopy_manager_v1* m;
        ~ManagerCloser() { zwlr_screencopy_manager_v1_destroy(m); }
    } managerCloser{manager};
    const bool listsBuffers = wl_proxy_get_version(reinterpret_cast<wl_proxy*>(manager)) >= 3;

    const WaylandOutput* output = nullptr;
    for (const auto& o : c.outputs) {
        if (area.x >= o.x && area.y >= o.y && area.x < o.x + o.width && area.y < o.y + o.height) output = &o;
    }
    if (!output) return fail("the area to capture lies on no output");
    int x = area.x - output->x, y = area.y - output->y;
    int width = std::min(area.width, output->width - x), height = std::min(area.height, output->height - y);
    if (width <= 0 || height <= 0) return fail("the area to capture is empty");

    FrameState state;
    zwlr_screencopy_frame_v1* frame =
        zwlr_screencopy_manager_v1_capture_output_region(manager, 0, output->output, x, y, width, height);
    struct FrameCloser {
        zwlr_screencopy_frame_v1* f;
        ~FrameCloser() { zwlr_screencopy_frame_v1_destroy(f); }
    } frameCloser{frame};
    zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &state);
    if (!c.dispatchUntil([&] { return state.failed || (state.described && (state.listed || !listsBuffers)); },
                         kCopyTimeoutMs))
        return fail("the compositor did not describe the screen copy");
    int r = 0, g = 0, b = 0;
    if (state.failed || !state.described) return fail("the compositor refused the screen copy");
    if (!channelOffsets(state.format, r, g, b)) return fail("the compositor offers screen copies in an unknown format");
    if (state.width == 0 || state.height == 0 || state.width > kMaxSide || state.height > kMaxSide ||
        state.stride < state.width * 4 || static_cast<size_t>(state.stride) * state.height > kMaxBytes)
        return fail("the compositor described an impossible screen copy");

    const size_t size = static_cast<size_t>(state.stride) * state.height;
    int fd = memfd_create("velmor-screencopy", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
        if (fd >= 0) close(fd);
        return fail("no memory for the screen copy");
    }
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    wl_shm_pool* pool = wl_shm_create_pool(c.shm, fd, static_cast<int32_t>(size));
    close(fd);
    if (pixels == MAP_FAILED) {
        wl_shm_pool_destroy(pool);
        return fail("no memory for the screen copy");
    }
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<int32_t>(state.width),
                                                  static_cast<int32_t>(state.height),
                                                  static_cast<int32_t>(state.stride), state.format);
    wl_shm_pool_destroy(pool);
    zwlr_screencopy_frame_v1_copy(frame, buffer);
    bool finished = c.dispatchUntil([&] { return state.ready || state.failed; }, kCopyTimeoutMs);

    Result<RgbImage> result = fail("the compositor did not copy the screen");
    if (finished && state.ready) {
        RgbImage image{static_cast<int>(state.width), static_cast<int>(state.height), {}};
        image.pixels.resize(static_cast<size_t>(image.width) * image.height * 3);
        const bool upsideDown = state.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
        for (int row = 0; row < image.height; ++row) {
            const auto* in = static_cast<const uint8_t*>(pixels) +
                             static_cast<size_t>(upsideDown ? image.height - 1 - row : row) * state.stride;
            uint8_t* out = image.pixels.data() + static_cast<size_t>(row) * image.width * 3;
            for (int column = 0; column < image.width; ++column, in += 4, out += 3) {
                out[0] = in[r], out[1] = in[g], out[2] = in[b];
            }
        }
        result = std::move(image);
    } else if (finished) {
        result = fail("the compositor failed to copy the screen");
    }
    wl_buffer_destroy(buffer);
    munmap(pixels, size);
    return result;
}

}  // namespace velmor::platform
