#include "media/audio_player.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "base/call_context.h"
#include "base/child_run.h"

namespace velmor::media {

namespace {

constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr size_t kBytesPerSecond = kRate * kChannels * 2;
// Writes go out in 50 ms pieces, so the limit is checked often and a stop is prompt.
constexpr size_t kChunk = kBytesPerSecond / 20;

struct SimpleDeleter {
    void operator()(pa_simple* stream) const { pa_simple_free(stream); }
};

}  // namespace

AudioPlayer::AudioPlayer(std::string ffmpegProgram, std::chrono::milliseconds playLimit)
    : ffmpeg_(std::move(ffmpegProgram)), playLimit_(playLimit) {}

Result<void> AudioPlayer::playAndWait(const std::string& audioBytes) {
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + playLimit_;
    // Decoding is far faster than playing; a clip longer than the limit is cut just past
    // it, so the time-out below still reports it.
    auto limitSeconds = std::chrono::duration_cast<std::chrono::seconds>(playLimit_).count() + 1;
    // Its last line of diagnostics is the reason ffmpeg gave up; the rest is not kept.
    auto decoded = runChild({ffmpeg_, "-nostdin", "-hide_banner", "-loglevel", "error", "-i", "pipe:0", "-t",
                             std::to_string(limitSeconds), "-f", "s16le", "-acodec", "pcm_s16le", "-ac",
                             std::to_string(kChannels), "-ar", std::to_string(kRate), "pipe:1"},
                            {.input = audioBytes, .outputLimit = kBytesPerSecond * (limitSeconds + 1), .errorLimit = 0},
                            playLimit_);
    if (!decoded.started) return fail("playback error: cannot run " + ffmpeg_);
    if (decoded.timedOut) return fail("playback timed out");
    if (decoded.status != 0 || decoded.output.empty()) {
        const std::string& reason = decoded.lastErrorLine;
        return fail("playback error: " + (reason.empty() ? std::string("no audio in the data") : reason));
    }

    pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, kChannels};
    // A short server-side buffer: the drain at the end then waits for the sound itself,
    // not for a long queue, and a stop takes effect quickly.
    pa_buffer_attr buffering{static_cast<uint32_t>(-1), static_cast<uint32_t>(kBytesPerSecond / 5),
                             static_cast<uint32_t>(-1), static_cast<uint32_t>(-1), static_cast<uint32_t>(-1)};
    int error = 0;
    std::unique_ptr<pa_simple, SimpleDeleter> stream(pa_simple_new(nullptr, "Velmor", PA_STREAM_PLAYBACK, nullptr,
                                                                   "speech", &spec, nullptr, &buffering, &error));
    if (!stream) return fail(std::string("playback error: ") + pa_strerror(error));
    const std::string& pcm = decoded.output;
    size_t evenLength = pcm.size() - pcm.size() % (kChannels * 2);
    const CallContext& call = currentCall();
    for (size_t offset = 0; offset < evenLength; offset += kChunk) {
        if (call.cancelled()) {
            pa_simple_flush(stream.get(), &error);
            return fail("playback cancelled");
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            pa_simple_flush(stream.get(), &error);
            return fail("playback timed out");
        }
        size_t length = std::min(kChunk, evenLength - offset);
        if (pa_simple_write(stream.get(), pcm.data() + offset, length, &error) < 0)
            return fail(std::string("playback error: ") + pa_strerror(error));
    }
    if (pa_simple_drain(stream.get(), &error) < 0) return fail(std::string("playback error: ") + pa_strerror(error));
    return succeeded();
}

}  // namespace velmor::media
