#pragma once

#include "base/guarded.h"
#include "base/result.h"
#include "platform/linux/remote_desktop.h"
#include "platform/screen_frames.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct spa_pod;

namespace velmor::platform {

// Reads a PipeWire video stream (a screen cast's node) and keeps its newest frame. A screen
// cast sends a frame when the screen changes, so the newest frame is what the screen shows
// now; a copy costs no round trip to the compositor.
//
// Threads: the PipeWire objects live on the reader's own PipeWire loop thread and are
// touched elsewhere only under that loop's lock; the newest frame is behind newest_'s lock.
class PipewireFrames {
public:
    PipewireFrames();
    PipewireFrames(const PipewireFrames&) = delete;
    PipewireFrames& operator=(const PipewireFrames&) = delete;
    ~PipewireFrames();

    // `area` (within the stream's picture) of the newest frame of the stream's node,
    // connecting to the node first when needed and waiting a moment for its first frame.
    Result<RgbImage> copy(const MutterStream& stream, const Frame& area);

    // PipeWire callbacks (loop thread).
    void formatChanged(const spa_pod* format);
    void frameArrived();
    void failed(const char* reason);

private:
    Result<void> connect(const MutterStream& stream);
    void disconnect();

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    struct Listener;
    std::unique_ptr<Listener> listener_;
    uint32_t node_ = 0;
    // Held by copy() around everything above: one caller at a time (re)connects the stream.
    std::mutex connecting_;

    struct Picture {
        int width = 0, height = 0;
        bool redFirst = false;        // RGBx/RGBA rather than BGRx/BGRA
        std::vector<uint8_t> pixels;  // four bytes per pixel, rows packed
        uint64_t frames = 0;
        std::string failure;
    };
    Guarded<Picture> newest_;
    std::condition_variable arrived_;
};

}  // namespace velmor::platform
