#include "media/media_probe.h"
#include "support/child_process.h"
#include "support/eventually.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace velmor::test {
namespace {

// A recording must not outlive the process that started it: when that process is killed,
// ffmpeg is interrupted and finishes a file every player opens.
TEST(RecordingLifetime, AKilledRecorderLeavesAFinishedFileAndNoFfmpeg) {
    // Orphans of our children become ours, so that we can see how ffmpeg ended.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    TempHome home;
    const std::string video = home.path() + "/recording.mp4";
    ChildProcess holder({VELMOR_RECORDING_HOLDER, "ffmpeg", "-hide_banner", "-nostats", "-loglevel", "error",
                         "-progress", "pipe:1", "-re", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=30", "-c:v",
                         "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-y", video});
    std::string line;
    ASSERT_TRUE(holder.readLine(line, 20000)) << holder.drainStderr();
    const pid_t ffmpeg = std::stoi(line);

    holder.signal(SIGKILL);
    holder.wait();
    int status = 0;
    bool ended = eventually([&] { return ::waitpid(ffmpeg, &status, WNOHANG) == ffmpeg; }, std::chrono::seconds(20));
    if (!ended) {
        ::kill(ffmpeg, SIGKILL);
        ::waitpid(ffmpeg, &status, 0);
    }
    ASSERT_TRUE(ended) << "ffmpeg kept recording after its recorder was killed";
    EXPECT_FALSE(WIFSIGNALED(status)) << "ffmpeg was cut off by signal " << WTERMSIG(status);

    auto probe = probeMedia(video);
    auto stream = streamOf(probe, "video");
    ASSERT_TRUE(stream.is_object()) << probe.dump();
    EXPECT_EQ(stream.value("codec_name", ""), "h264");
    EXPECT_GT(durationOf(probe["format"]), 0);
}

}  // namespace
}  // namespace velmor::test
