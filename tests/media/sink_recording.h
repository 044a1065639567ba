#pragma once

#include <memory>
#include <string>

#include "support/child_process.h"

namespace velmor::test {

// Records what the test desktop's null sink plays (its monitor), as 16 kHz mono samples.
class SinkRecording {
public:
    SinkRecording();
    // Stops recording and returns the raw samples.
    std::string stop();

private:
    std::string path_;
    std::unique_ptr<ChildProcess> recorder_;
};

// The loudest sample in 16-bit little-endian PCM.
int peakLevel(const std::string& pcm);
// How many milliseconds of 16 kHz mono PCM pass before the first sample above `threshold`;
// -1 when none is.
long firstSoundMs(const std::string& pcm, int threshold = 500);

}  // namespace velmor::test
