#pragma once

#include "base/result.h"
#include "platform/screen_frames.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace velmor::media {

// Copies an area of the screen 30 times a second into a named pipe of its own, as raw RGB
// frames for ffmpeg to encode (`ffmpegInput()` names the pipe and its format). When a copy
// takes longer than a frame's time the last picture is written again, so the video keeps
// the pace of the clock. Stopping (or destruction) closes the pipe, which ends ffmpeg's
// input. Its thread blocks SIGPIPE for itself: an ffmpeg that quits turns writes into
// errors, never a signal that would end this process.
class FrameFeeder {
public:
    static constexpr int kFramesPerSecond = 30;

    static Result<std::unique_ptr<FrameFeeder>> start(platform::ScreenFrames& frames, const platform::Frame& area);
    ~FrameFeeder();
    FrameFeeder(const FrameFeeder&) = delete;
    FrameFeeder& operator=(const FrameFeeder&) = delete;

    // ffmpeg's input arguments for the pipe.
    std::vector<std::string> ffmpegInput() const;
    void stop();

private:
    FrameFeeder(platform::ScreenFrames& frames, const platform::Frame& area, std::string folder);
    void feed();

    platform::ScreenFrames& frames_;
    const platform::Frame area_;
    const std::string folder_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace velmor::media
