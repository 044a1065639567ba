#include "media/window_recorder.h"

#include "base/log.h"
#include "base/private_file.h"
#include "media/frame_feeder.h"
#include "media/recording_files.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <vector>

namespace velmor::media {

namespace {

constexpr const char* kCategory = "recorder";
constexpr auto kStartLimit = std::chrono::seconds(15);
// Of the stop's 15 s, ffmpeg gets most to finish the file after being asked with "q";
// the rest is for SIGINT, which it obeys even while stuck waiting for the X server.
constexpr auto kQuitLimit = std::chrono::seconds(12);
constexpr auto kInterruptLimit = std::chrono::seconds(3);
constexpr auto kPoll = std::chrono::milliseconds(20);

std::string sizeText(const platform::Frame& area) {
    return std::to_string(area.width) + "x" + std::to_string(area.height);
}

// H.264 in yuv420p (what every player takes) from `input`. The fastest preset keeps the
// encoder's share of a core small while the demo runs; -progress on standard output tells
// us when frames are being written.
std::vector<std::string> encodeArguments(const std::string& program, const std::vector<std::string>& input,
                                         const std::string& output) {
    std::vector<std::string> arguments = {program, "-hide_banner", "-nostats", "-loglevel", "error", "-progress",
                                          "pipe:1"};
    arguments.insert(arguments.end(), input.begin(), input.end());
    arguments.insert(arguments.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-y", output});
    return arguments;
}

// ffmpeg's own X11 grabber, at up to 30 frames a second with the pointer drawn.
std::vector<std::string> grabInput(const std::string& display, const platform::Frame& area) {
    return {"-f", "x11grab", "-framerate", "30", "-draw_mouse", "1", "-video_size", sizeText(area),
            "-i", display + "+" + std::to_string(area.x) + "," + std::to_string(area.y)};
}

std::string failureText(ChildProcess& ffmpeg, int status) {
    std::string line = ffmpeg.lastErrorLine();
    return line.empty() ? "ffmpeg exit " + std::to_string(status) : line;
}

}  // namespace

std::optional<platform::Frame> recordableArea(const platform::Frame& area, const platform::Frame& screen) {
    int left = std::max(area.x, screen.x), top = std::max(area.y, screen.y);
    int right = std::min(area.x + area.width, screen.x + screen.width);
    int bottom = std::min(area.y + area.height, screen.y + screen.height);
    int width = (right - left) / 2 * 2, height = (bottom - top) / 2 * 2;
    if (width <= 0 || height <= 0) return std::nullopt;
    return platform::Frame{left, top, width, height};
}

WindowRecorder::WindowRecorder(std::string ffmpegProgram, std::filesystem::path recordingsFolder,
                               platform::Windows& windows)
    : ffmpegProgram_(std::move(ffmpegProgram)), recordingsFolder_(std::move(recordingsFolder)), windows_(windows) {}

WindowRecorder::~WindowRecorder() {
    if (isRecording()) (void)stopRecording();
}

bool WindowRecorder::isRecording() {
    return recording_.withLocked([](const Recording& recording) { return recording.ffmpeg != nullptr; });
}

void WindowRecorder::clearCachedSelection() {
    recording_.withLocked([](Recording& recording) { recording.cachedArea.reset(); });
}

Result<void> WindowRecorder::startRecording(int32_t targetPid) {
    return recording_.withLocked([&](Recording& recording) -> Result<void> {
        if (recording.ffmpeg) return fail("already recording");
        if (recording.cachedArea) {
            Log::info(kCategory, "Reusing cached window selection");
            return record(recording, *recording.cachedArea);
        }
        auto window = windows_.frontWindowOf(targetPid);
        if (!window) return fail("no window selected");
        auto screen = windows_.screen();
        if (!screen) return fail("no display found");
        auto area = recordableArea(window->frame, *screen);
        if (!area) return fail("no window selected");
        recording.cachedArea = area;
        return record(recording, *area);
    });
}

Result<void> WindowRecorder::startDisplayRecording() {
    return recording_.withLocked([&](Recording& recording) -> Result<void> {
        if (recording.ffmpeg) return fail("already recording");
        auto screen = windows_.screen();
        auto area = screen ? recordableArea(*screen, *screen) : std::nullopt;
        if (!area) return fail("no display found");
        Log::info(kCategory, "Display capture: " + sizeText(*area));
        return record(recording, *area);
    });
}

std::filesystem::path WindowRecorder::nextOutputPath() const {
    // Names have a resolution of one second; a second recording within the same second
    // waits for the next one instead of overwriting the first. The file is made here,
    // private, because ffmpeg keeps the mode of the file it writes into: a recording shows
    // whatever was on the screen.
    for (;;) {
        auto path = recordingsFolder_ / demoFileName(std::chrono::system_clock::now());
        std::error_code error;
        // Another failure than an existing file is ffmpeg's to report.
        if (createPrivateFile(path.string()) || !std::filesystem::exists(path, error)) return path;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

Result<void> WindowRecorder::record(Recording& recording, const platform::Frame& area) {
    std::vector<std::string> input;
    std::unique_ptr<FrameFeeder> feeder;
    if (frames_) {
        auto started = FrameFeeder::start(*frames_, area);
        if (!started) return fail("setup failed: " + started.error());
        feeder = std::move(*started);
        input = feeder->ffmpegInput();
    } else {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) return fail("no display found");
        input = grabInput(display, area);
    }
    std::error_code ignored;
    std::filesystem::create_directories(recordingsFolder_, ignored);
    auto output = nextOutputPath();
    recording.outputPath = output;

    // Standard input stays open for the "q" that stops it; only the last line of diagnostics
    // is needed. Should Velmor end without stopping it, however it ends, ffmpeg is
    // interrupted, which finishes the file as "q" does, instead of recording forever.
    auto started = ChildProcess::start(encodeArguments(ffmpegProgram_, input, output.string()),
                                       {.outputLimit = 0, .errorLimit = 0, .parentDeathSignal = SIGINT});
    if (!started) return fail("setup failed: " + started.error());
    auto ffmpeg = std::move(*started);

    auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (!ffmpeg->wroteOutput()) {
        if (auto status = ffmpeg->waitForExit(std::chrono::milliseconds(0))) {
            std::filesystem::remove(output, ignored);  // nothing was recorded into it
            return fail("capture failed: " + failureText(*ffmpeg, *status));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ffmpeg->signal(SIGINT);
            (void)ffmpeg->waitForExit(kInterruptLimit);
            ffmpeg.reset();  // reaped, or killed when it ignored the request
            std::filesystem::remove(output, ignored);
            return fail("capture failed: ffmpeg did not start recording within 15 seconds");
        }
        std::this_thread::sleep_for(kPoll);
    }
    recording.ffmpeg = std::move(ffmpeg);
    recording.feeder = std::move(feeder);
    Log::info(kCategory, "Recording started to " + output.string() + " (" + sizeText(area) + ")");
    return succeeded();
}

Result<std::string> WindowRecorder::stopRecording() {
    return recording_.withLocked([this](Recording& recording) { return stop(recording); });
}

Result<std::string> WindowRecorder::stop(Recording& recording) {
    if (!recording.ffmpeg) return fail(std::string(kNotRecording));
    auto ffmpeg = std::move(recording.ffmpeg);
    std::string path = recording.outputPath ? recording.outputPath->string() : std::string();
    recording.outputPath.reset();
    // Fed frames end with their pipe, which lets ffmpeg finish as "q" does.
    if (recording.feeder) recording.feeder->stop(), recording.feeder.reset();

    // "q" lets ffmpeg write the file's index and close it; a killed ffmpeg leaves an MP4
    // that no player opens.
    ffmpeg->sendInput("q");
    auto status = ffmpeg->waitForExit(kQuitLimit);
    if (!status) {
        ffmpeg->signal(SIGINT);
        status = ffmpeg->waitForExit(kInterruptLimit);
    }
    std::optional<std::string> failure;
    if (!status) failure = "ffmpeg did not finish the recording within 15 seconds";
    else if (*status != 0) failure = failureText(*ffmpeg, *status);
    else Log::info(kCategory, "Saved to " + path);
    ffmpeg.reset();  // reaps it, killing it first only when it ignored both requests
    if (failure) return fail(*failure);

    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    if (error) return fail("file not created");
    Log::info(kCategory, "File size: " + std::to_string(size) + " bytes");
    return path;
}

}  // namespace velmor::media
