#pragma once

#include <chrono>
#include <string>

#include "base/result.h"

namespace velmor::media {

// Plays MP3 or WAV bytes on the default PulseAudio output and waits for the end. The bytes
// are decoded by ffmpeg (format detected from the data) and written to PulseAudio with
// libpulse-simple, so a clip is only "played" once the server has drained it.
class AudioPlayer {
public:
    explicit AudioPlayer(std::string ffmpegProgram = "ffmpeg",
                         std::chrono::milliseconds playLimit = std::chrono::seconds(120));

    // "playback error: ..." when the bytes cannot be decoded or the output cannot be
    // opened; "playback timed out" (playback stopped) after the limit.
    Result<void> playAndWait(const std::string& audioBytes);

private:
    std::string ffmpeg_;
    std::chrono::milliseconds playLimit_;
};

}  // namespace velmor::media
