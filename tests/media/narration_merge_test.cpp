#include "media/media_probe.h"
#include "support/temp_home.h"
#include "tools/narration_merge.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace velmor::test {
namespace {

using tools::NarrationSegment;

TEST(NarrationMerge, DelaysEveryClipOnBothChannelsAndMixesThemIntoOneTrack) {
    EXPECT_EQ(tools::narrationFilterGraph({{0.0004, "a.mp3"}}),
              "[1:a]adelay=0|0[a0];[a0]amix=inputs=1:normalize=0[narration]");
    std::vector<NarrationSegment> two{{1.5, "/c/clip_1.mp3"}, {4.25, "/c/clip_3.wav"}};
    EXPECT_EQ(tools::narrationFilterGraph(two),
              "[1:a]adelay=1500|1500[a0];[2:a]adelay=4250|4250[a1];[a0][a1]amix=inputs=2:normalize=0[narration]");
    EXPECT_EQ(tools::narrationMergeArguments("/d/velmor-demo-1.mp4", two, "/d/velmor-demo-1-narrated.mp4"),
              (std::vector<std::string>{"-i", "/d/velmor-demo-1.mp4", "-i", "/c/clip_1.mp3", "-i", "/c/clip_3.wav",
                                        "-filter_complex", tools::narrationFilterGraph(two), "-map", "0:v", "-map",
                                        "[narration]", "-c:v", "copy", "-c:a", "aac", "-b:a", "192k", "-y",
                                        "/d/velmor-demo-1-narrated.mp4"}));
}

// Real ffmpeg: a 4 s silent video and two tones become one file with the video stream
// unchanged and a narration track, in place of the silent one.
TEST(NarrationMerge, ReplacesTheSilentVideoWithTheNarratedOne) {
    TempHome home;
    std::string video = home.path() + "/velmor-demo-7.mp4", first = home.path() + "/clip_0.wav",
                second = home.path() + "/clip_2.mp3";
    ASSERT_EQ(runQuietly({"ffmpeg", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=30", "-t", "4", "-c:v", "libx264",
                          "-pix_fmt", "yuv420p", video}), 0);
    ::chmod(video.c_str(), 0644);
    // Left over from a merge that was killed; readable by all.
    writeFile(home.path() + "/velmor-demo-7-narrated.mp4", "stale");
    ::chmod((home.path() + "/velmor-demo-7-narrated.mp4").c_str(), 0644);
    ASSERT_EQ(runQuietly({"ffmpeg", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", first}), 0);
    ASSERT_EQ(runQuietly({"ffmpeg", "-f", "lavfi", "-i", "sine=frequency=660:duration=1", second}), 0);

    auto merged = tools::mergeNarrationIntoVideo("ffmpeg", video, {{0.5, first}, {2.75, second}});
    ASSERT_TRUE(merged.ok()) << merged.error();
    EXPECT_EQ(*merged, video);
    EXPECT_FALSE(std::filesystem::exists(home.path() + "/velmor-demo-7-narrated.mp4"));
    EXPECT_EQ(fileMode(video), 0600u) << "the narrated recording is as private as the silent one";
    auto probe = probeMedia(video);
    EXPECT_EQ(streamOf(probe, "video").value("codec_name", ""), "h264");
    EXPECT_EQ(streamOf(probe, "video").value("width", 0), 320);
    auto audio = streamOf(probe, "audio");
    ASSERT_TRUE(audio.is_object()) << probe.dump();
    EXPECT_EQ(audio.value("codec_name", ""), "aac");
    // The second tone starts at 2.75 s and lasts 1 s: the track covers it.
    EXPECT_GE(durationOf(audio), 3.6);
}

// An ffmpeg found on PATH that fails: its status is the answer and the silent video stays.
TEST(NarrationMerge, ReportsFfmpegsExitStatusAndLeavesTheSilentVideo) {
    TempHome home;
    std::string bin = home.path() + "/bin", video = home.path() + "/velmor-demo-9.mp4";
    std::filesystem::create_directory(bin);
    writeFile(bin + "/ffmpeg", "#!/bin/sh\nhead -c 300000 /dev/zero | tr '\\0' x >&2\nexit 3\n");
    chmod((bin + "/ffmpeg").c_str(), 0755);
    writeFile(video, "silent video bytes");
    std::string path = std::getenv("PATH");
    setenv("PATH", (bin + ":" + path).c_str(), 1);
    auto merged = tools::mergeNarrationIntoVideo("ffmpeg", video, {{1.0, home.path() + "/clip_0.mp3"}});
    setenv("PATH", path.c_str(), 1);

    ASSERT_FALSE(merged.ok());
    EXPECT_EQ(merged.error(), "ffmpeg exit 3");  // 300 kB of diagnostics did not block it
    EXPECT_EQ(readFile(video), "silent video bytes");

    auto missing = tools::mergeNarrationIntoVideo(home.path() + "/no-such-ffmpeg", video, {{1.0, "clip.mp3"}});
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), "ffmpeg launch failed: No such file or directory");
}

}  // namespace
}  // namespace velmor::test
