#include "media/frame_feeder.h"

#include "base/log.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace velmor::media {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFrameTime = std::chrono::microseconds(1000000 / FrameFeeder::kFramesPerSecond);
// How long ffmpeg gets to open the pipe, and to take a frame, before feeding gives up.
constexpr auto kOpenLimit = std::chrono::seconds(15);
constexpr int kWriteLimitMs = 5000;

std::string pipeOf(const std::string& folder) { return folder + "/frames"; }

// Writes all of `size` bytes within the limit; false when ffmpeg stopped reading.
bool writeAll(int fd, const uint8_t* data, size_t size, const std::atomic<bool>& stopping) {
    while (size > 0) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, kWriteLimitMs) <= 0 || stopping) return false;
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EAGAIN) continue;
        if (n <= 0) return false;
        data += n, size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

Result<std::unique_ptr<FrameFeeder>> FrameFeeder::start(platform::ScreenFrames& frames, const platform::Frame& area) {
    std::string folder = (std::filesystem::temp_directory_path() / "velmor-frames.XXXXXX").string();
    if (!mkdtemp(folder.data())) return fail("cannot make a folder for the frames");
    if (mkfifo(pipeOf(folder).c_str(), 0600) != 0) {
        std::filesystem::remove_all(folder);
        return fail("cannot make a pipe for the frames");
    }
    std::unique_ptr<FrameFeeder> feeder(new FrameFeeder(frames, area, folder));
    feeder->thread_ = std::thread([feeder = feeder.get()] { feeder->feed(); });
    return feeder;
}

FrameFeeder::FrameFeeder(platform::ScreenFrames& frames, const platform::Frame& area, std::string folder)
    : frames_(frames), area_(area), folder_(std::move(folder)) {}

FrameFeeder::~FrameFeeder() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::string> FrameFeeder::ffmpegInput() const {
    return {"-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size",
            std::to_string(area_.width) + "x" + std::to_string(area_.height), "-framerate",
            std::to_string(kFramesPerSecond), "-i", pipeOf(folder_)};
}

void FrameFeeder::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

void FrameFeeder::feed() {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    // Opening for writing succeeds only once ffmpeg has opened the pipe for reading.
    int fd = -1;
    const auto openDeadline = Clock::now() + kOpenLimit;
    while (fd < 0 && !stopping_ && Clock::now() < openDeadline) {
        fd = open(pipeOf(folder_).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (fd < 0) return;

    const size_t frameSize = static_cast<size_t>(area_.width) * area_.height * 3;
    std::vector<uint8_t> last(frameSize, 0);
    auto next = Clock::now();
    while (!stopping_) {
        if (auto image = frames_.copy(area_); image && image->width == area_.width && image->height == area_.height) {
            last = std::move(image->pixels);
        } else if (!image) {
            Log::error("recorder", "Copying a frame failed: " + image.error());
        }
        // Every frame time that has passed gets a frame: the newest picture.
        bool written = true;
        while (written && Clock::now() >= next && !stopping_) {
            written = writeAll(fd, last.data(), last.size(), stopping_);
            next += kFrameTime;
        }
        if (!written) break;
        std::this_thread::sleep_until(next);
    }
    close(fd);
}

}  // namespace velmor::media
