#include "media/media_probe.h"
#include "support/child_process.h"
#include "support/eventually.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmor::test {
namespace {

// A recording must not outlive the process that started it: when that process is killed,
// ffmpeg is interrupted and finishes a file every player opens.
TEST(RecordingLifetime, AKilledRecorderLeavesAFinishedFileAndNoFfmpeg) {
    // Orphans of our children become ours, so that we see when they end.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    TempHome home;
    const std::string video = home.path() + "/recording.mp4";
    ChildProcess holder({VELMOR_RECORDING_HOLDER, "ffmpeg", "-hide_banner", "-nostats", "-loglevel", "error",
                         "-progress", "pipe:1", "-re", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=30", "-c:v",
                         "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-y", video});
    std::string line;
    ASSERT_TRUE(holder.readLine(line, 20000)) << holder.drainStderr();
    ASSERT_EQ(line, "recording");

    holder.signal(SIGKILL);
    holder.wait();
    // Whatever the holder started ends by itself.
    bool ended = eventually([] { return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; },
                            std::chrono::seconds(20));
    if (!ended) {
        std::ifstream children("/proc/self/task/" + std::to_string(::getpid()) + "/children");
        for (pid_t child; children >> child;) ::kill(child, SIGKILL);
    }
    ASSERT_TRUE(ended) << "ffmpeg kept recording after its recorder was killed";

    auto probe = probeMedia(video);
    auto stream = streamOf(probe, "video");
    ASSERT_TRUE(stream.is_object()) << "the recording was not finished";
    EXPECT_EQ(stream.value("codec_name", ""), "h264");
    EXPECT_GT(durationOf(probe["format"]), 0);
}

}  // namespace
}  // namespace velmor::test
