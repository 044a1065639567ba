#pragma once

#include "base/child_process.h"
#include "base/guarded.h"
#include "base/result.h"
#include "platform/screen_frames.h"
#include "platform/windows.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::media {

class FrameFeeder;

// The failure stopRecording() answers when nothing is recording.
inline constexpr std::string_view kNotRecording = "not recording";

// Records the screen into an MP4 in the videos folder by running ffmpeg, for demo videos the
// agent narrates: ffmpeg reads the screen with its X11 grabber, or encodes the frames the
// desktop copies (feedFramesFrom) where it cannot read the screen itself. A window recording captures the target's front window's
// rectangle, chosen when the first window recording starts and kept for later ones until a
// new session starts; a display recording captures the whole screen. Only one recording
// runs at a time. Every operation blocks its caller until done, within fixed limits.
class WindowRecorder {
public:
    // `ffmpegProgram` is a path or a name looked up on PATH; recordings are written into
    // `recordingsFolder` (created when missing); `windows` tells where the target's window is.
    WindowRecorder(std::string ffmpegProgram, std::filesystem::path recordingsFolder, platform::Windows& windows);
    // A recording still running is stopped, so its file is finished rather than cut off.
    ~WindowRecorder();
    WindowRecorder(const WindowRecorder&) = delete;
    WindowRecorder& operator=(const WindowRecorder&) = delete;

    Result<void> startRecording(int32_t targetPid);
    Result<void> startDisplayRecording();
    // The saved file's path.
    Result<std::string> stopRecording();
    // Forgets the window chosen for window recordings; called when a session starts.
    void clearCachedSelection();
    // Where the desktop copies frames for recordings (DesktopServices::frames); null keeps
    // ffmpeg's own grabber. Set before the first recording.
    void feedFramesFrom(platform::ScreenFrames* frames) { frames_ = frames; }

    bool isRecording();

private:
    // Held for a whole operation: a start or a stop that waits on ffmpeg keeps the others out.
    struct Recording {
        std::unique_ptr<ChildProcess> ffmpeg;
        std::unique_ptr<FrameFeeder> feeder;
        std::optional<std::filesystem::path> outputPath;
        std::optional<platform::Frame> cachedArea;
    };

    Result<void> record(Recording& recording, const platform::Frame& area);
    Result<std::string> stop(Recording& recording);
    std::filesystem::path nextOutputPath() const;

    const std::string ffmpegProgram_;
    const std::filesystem::path recordingsFolder_;
    platform::Windows& windows_;
    platform::ScreenFrames* frames_ = nullptr;

    Guarded<Recording> recording_;
};

// The part of `area` that lies on `screen`, with both sides cut to even numbers as the
// H.264 encoder's 4:2:0 format requires; nothing when no pixel of it is on the screen.
std::optional<platform::Frame> recordableArea(const platform::Frame& area, const platform::Frame& screen);

}  // namespace velmor::media
