#include "platform/linux/pipewire_frames.h"

#include "base/log.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace velmor::platform {

namespace {

constexpr auto kFirstFrameTimeout = std::chrono::seconds(3);
// Larger pictures than any monitor are refused before memory is taken for them.
constexpr int kMaxSide = 8192;

void onParamChanged(void* data, uint32_t id, const struct spa_pod* param) {
    if (id == SPA_PARAM_Format && param) static_cast<PipewireFrames*>(data)->formatChanged(param);
}

void onProcess(void* data) { static_cast<PipewireFrames*>(data)->frameArrived(); }

void onStateChanged(void* data, enum pw_stream_state, enum pw_stream_state state, const char* error) {
    if (state == PW_STREAM_STATE_ERROR) static_cast<PipewireFrames*>(data)->failed(error ? error : "stream error");
    if (state == PW_STREAM_STATE_UNCONNECTED) static_cast<PipewireFrames*>(data)->failed("the stream was disconnected");
}

const pw_stream_events kEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = onStateChanged;
    events.param_changed = onParamChanged;
    events.process = onProcess;
    return events;
}();

}  // namespace

struct PipewireFrames::Listener {
    spa_hook hook{};
};

PipewireFrames::PipewireFrames() = default;
PipewireFrames::~PipewireFrames() { disconnect(); }

void PipewireFrames::formatChanged(const spa_pod* format) {
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(format, &info) < 0) return;
    if (info.size.width == 0 || info.size.height == 0 || info.size.width > kMaxSide || info.size.height > kMaxSide) return;
    newest_.withLocked([&](Picture& picture) {
        const int width = static_cast<int>(info.size.width), height = static_cast<int>(info.size.height);
        // A frame of the old size is not read as one of the new: copy() waits for the next.
        if (width != picture.width || height != picture.height) {
            picture.pixels.clear();
            picture.frames = 0;
        }
        picture.width = width;
        picture.height = height;
        picture.redFirst = info.format == SPA_VIDEO_FORMAT_RGBx || info.format == SPA_VIDEO_FORMAT_RGBA;
    });
    // Frames in memory Velmor can read: shared memory, not GPU buffers.
    uint8_t buffer[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    pw_stream_update_params(stream_, params, 1);
}

void PipewireFrames::frameArrived() {
    // Older buffers waiting behind the newest are handed straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream_)) {
        if (newest) pw_stream_queue_buffer(stream_, newest);
        newest = buffer;
    }
    if (!newest) return;
    const spa_buffer* buffer = newest->buffer;
    const spa_data& data = buffer->datas[0];
    if (buffer->n_datas > 0 && data.data && data.chunk && data.chunk->size > 0 &&
        !(data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) {
        newest_.withLocked([&](Picture& picture) {
            const size_t row = static_cast<size_t>(picture.width) * 4;
            const size_t stride = data.chunk->stride > 0 ? static_cast<size_t>(data.chunk->stride) : row;
            const size_t offset = std::min<size_t>(data.chunk->offset, data.maxsize);
            const size_t available = data.maxsize - offset;
            if (picture.width <= 0 || picture.height <= 0 || stride < row ||
                stride * (picture.height - 1) + row > available)
                return;
            picture.pixels.resize(row * picture.height);
            const auto* source = static_cast<const uint8_t*>(data.data) + offset;
            for (int y = 0; y < picture.height; ++y)
                std::memcpy(picture.pixels.data() + row * y, source + stride * y, row);
            ++picture.frames;
            arrived_.notify_all();
        });
    }
    pw_stream_queue_buffer(stream_, newest);
}

void PipewireFrames::failed(const char* reason) {
    newest_.withLocked([&](Picture& picture) {
        picture.failure = reason;
        arrived_.notify_all();
    });
}

Result<void> PipewireFrames::connect(const MutterStream& cast) {
    const uint32_t node = cast.node;
    disconnect();
    pw_init(nullptr, nullptr);
    loop_ = pw_thread_loop_new("velmor-pipewire", nullptr);
    if (!loop_) return fail("PipeWire: no loop");
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    if (!context_ || pw_thread_loop_start(loop_) < 0) return fail("PipeWire: no context");
    // The portal hands over a connection that sees the granted node alone; otherwise
    // PIPEWIRE_REMOTE, when set, names the daemon, else it is the user's own.
    int remote = -1;
    if (cast.openPipewire) {
        auto opened = cast.openPipewire();
        VELMOR_RETURN_IF_FAILED(opened);
        remote = *opened;
    }
    pw_thread_loop_lock(loop_);
    core_ = remote >= 0 ? pw_context_connect_fd(context_, remote, nullptr, 0) : pw_context_connect(context_, nullptr, 0);
    if (!core_) {
        pw_thread_loop_unlock(loop_);
        return fail("PipeWire is not running (no daemon answered at its socket)");
    }
    stream_ = pw_stream_new(core_, "velmor-screen",
                            pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                              PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    listener_ = std::make_unique<Listener>();
    pw_stream_add_listener(stream_, &listener_->hook, &kEvents, this);
    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_rectangle smallest = SPA_RECTANGLE(1, 1), largest = SPA_RECTANGLE(kMaxSide, kMaxSide),
                        usual = SPA_RECTANGLE(1280, 800);
    const spa_fraction none = SPA_FRACTION(0, 1), many = SPA_FRACTION(1000, 1), thirty = SPA_FRACTION(30, 1);
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&usual, &smallest, &largest), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&thirty, &none, &many)));
    int connected = pw_stream_connect(stream_, PW_DIRECTION_INPUT, node,
                                      static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                                      params, 1);
    pw_thread_loop_unlock(loop_);
    if (connected < 0) return fail("PipeWire refused the screen cast's stream");
    node_ = node;
    return succeeded();
}

void PipewireFrames::disconnect() {
    if (loop_) pw_thread_loop_stop(loop_);
    if (stream_) pw_stream_destroy(stream_);
    if (core_) pw_core_disconnect(core_);
    if (context_) pw_context_destroy(context_);
    if (loop_) pw_thread_loop_destroy(loop_);
    stream_ = nullptr, core_ = nullptr, context_ = nullptr, loop_ = nullptr;
    listener_.reset();
    node_ = 0;
    newest_.withLocked([](Picture& picture) {
        picture.pixels.clear();
        picture.frames = 0;
        picture.failure.clear();
    });
}

Result<RgbImage> PipewireFrames::copy(const MutterStream& stream, const Frame& area) {
    const uint32_t node = stream.node;
    std::lock_guard connecting(connecting_);
    bool broken = newest_.withLocked([](const Picture& picture) { return !picture.failure.empty(); });
    if (node != node_ || broken) VELMOR_RETURN_IF_FAILED(connect(stream));
    auto arrivedOrFailed = [](const Picture& picture) { return picture.frames > 0 || !picture.failure.empty(); };
    auto copyArea = [&](const Picture& picture) -> Result<RgbImage> {
        if (!arrivedOrFailed(picture)) return fail("the screen cast sent no frame");
        if (!picture.failure.empty()) return fail("the screen cast failed: " + picture.failure);
        const int width = picture.width, height = picture.height;
        const int left = std::clamp(area.x, 0, width), top = std::clamp(area.y, 0, height);
        const int right = std::clamp(area.x + area.width, left, width);
        const int bottom = std::clamp(area.y + area.height, top, height);
        if (right == left || bottom == top) return fail("the area is outside the screen cast");
        RgbImage image{right - left, bottom - top, {}};
        image.pixels.resize(static_cast<size_t>(image.width) * image.height * 3);
        uint8_t* out = image.pixels.data();
        for (int y = top; y < bottom; ++y) {
            const uint8_t* in = picture.pixels.data() + (static_cast<size_t>(y) * width + left) * 4;
            for (int x = left; x < right; ++x, in += 4, out += 3) {
                out[0] = picture.redFirst ? in[0] : in[2];
                out[1] = in[1];
                out[2] = picture.redFirst ? in[2] : in[0];
            }
        }
        return image;
    };
    return newest_.withLockedWhen(arrived_, kFirstFrameTimeout, arrivedOrFailed, copyArea);
}

}  // namespace velmor::platform
