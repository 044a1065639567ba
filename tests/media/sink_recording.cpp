#include "sink_recording.h"

#include <csignal>
#include <cstdlib>
#include <thread>

#include "support/temp_home.h"

namespace velmor::test {

SinkRecording::SinkRecording() {
    char name[] = "/tmp/velmor-sink-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path_ = name;
    recorder_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "parecord", "-d", "null.monitor", "--raw", "--format=s16le", "--rate=16000", "--channels=1",
        "--latency-msec=20", path_});
    // parecord needs a moment to connect; sound played before that would be missed.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

std::string SinkRecording::stop() {
    recorder_->signal(SIGINT);
    recorder_->wait(5000);
    recorder_.reset();
    std::string pcm = readFile(path_);
    std::remove(path_.c_str());
    return pcm;
}

int peakLevel(const std::string& pcm) {
    int peak = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        int sample = static_cast<int16_t>(static_cast<unsigned char>(pcm[i]) | static_cast<unsigned char>(pcm[i + 1]) << 8);
        peak = std::max(peak, std::abs(sample));
    }
    return peak;
}

long firstSoundMs(const std::string& pcm, int threshold) {
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        int sample = static_cast<int16_t>(static_cast<unsigned char>(pcm[i]) | static_cast<unsigned char>(pcm[i + 1]) << 8);
        if (std::abs(sample) > threshold) return static_cast<long>(i / 2 / 16);
    }
    return -1;
}

}  // namespace velmor::test
