// The recorder's cost while a demo runs, and the narration merge's speed.
//
//   scripts/desktop-stack-up.sh build/desktop-stack && . build/desktop-stack/env.sh
//   build/bench/velmor_recording_bench
//
// 1. A 10 s display recording of the 1280x1024 virtual screen while the pointer circles
//    over it: ffmpeg's and Velmor's CPU time over the wall time (target: under 60% of one
//    core on average).
// 2. Ten clips laid under a 60 s video (target: under 2 s), three runs.
#include "bench_stats.h"
#include "media/media_probe.h"
#include "media/window_recorder.h"
#include "fixtures/desktop_listing.h"
#include "support/temp_home.h"
#include "tools/narration_merge.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool run(const std::vector<std::string>& argv) { return velmor::test::runQuietly(argv) == 0; }

void benchRecording(const std::string& home) {
    auto& desktop = velmor::test::testDesktop();
    velmor::media::WindowRecorder recorder("ffmpeg", home + "/Desktop", desktop.windows);
    auto screen = desktop.windows.screen();
    if (!screen) {
        std::printf("display recording: no display (source the desktop stack's env.sh)\n");
        return;
    }
    double childrenBefore = cpuSeconds(RUSAGE_CHILDREN), selfBefore = cpuSeconds(RUSAGE_SELF);
    auto start = std::chrono::steady_clock::now();
    if (auto started = recorder.startDisplayRecording(); !started) {
        std::printf("display recording failed: %s\n", started.error().c_str());
        return;
    }
    // The pointer circles, so every frame differs from the one before.
    double angle = 0;
    while (std::chrono::steady_clock::now() - start < 10s) {
        angle += 0.05;
        (void)desktop.input.movePointer(screen->width / 2 + static_cast<int>(400 * std::cos(angle)),
                                        screen->height / 2 + static_cast<int>(400 * std::sin(angle)));
        std::this_thread::sleep_for(10ms);
    }
    auto saved = recorder.stopRecording();
    double wall = velmor::bench::millisecondsSince(start) / 1000;
    double ffmpeg = cpuSeconds(RUSAGE_CHILDREN) - childrenBefore, self = cpuSeconds(RUSAGE_SELF) - selfBefore;
    std::printf("display recording %dx%d, %.1f s: ffmpeg %.0f%% of one core, this process (pointer loop "
                "included) %.0f%%; file %ju bytes\n",
                screen->width, screen->height, wall, 100 * ffmpeg / wall, 100 * self / wall,
                saved && std::filesystem::exists(*saved) ? std::filesystem::file_size(*saved) : 0);
}

void benchMerge(const std::string& home) {
    std::string master = home + "/master.mp4";
    if (!run({"ffmpeg", "-y", "-f", "lavfi", "-i", "testsrc=size=1280x1024:rate=30", "-t", "60", "-c:v", "libx264",
              "-preset", "ultrafast", "-pix_fmt", "yuv420p", master})) {
        std::printf("merge: could not make the 60 s video\n");
        return;
    }
    std::vector<velmor::tools::NarrationSegment> clips;
    for (int k = 0; k < 10; ++k) {
        std::string clip = home + "/clip_" + std::to_string(k) + (k % 2 ? ".wav" : ".mp3");
        run({"ffmpeg", "-y", "-f", "lavfi", "-i", "sine=frequency=" + std::to_string(300 + 50 * k) + ":duration=4",
             clip});
        clips.push_back({k * 5.5, clip});
    }
    std::vector<double> times, cpu;
    for (int i = 0; i < 3; ++i) {
        std::string video = home + "/velmor-demo-" + std::to_string(i) + ".mp4";
        std::filesystem::copy_file(master, video, std::filesystem::copy_options::overwrite_existing);
        double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
        auto start = std::chrono::steady_clock::now();
        auto merged = velmor::tools::mergeNarrationIntoVideo("ffmpeg", video, clips);
        times.push_back(velmor::bench::millisecondsSince(start));
        cpu.push_back(1000 * (cpuSeconds(RUSAGE_CHILDREN) - cpuBefore));
        if (!merged) std::printf("merge failed: %s\n", merged.error().c_str());
    }
    std::printf("%s\n", velmor::bench::summarise("merge of 10 clips into a 60 s 1280x1024 video", times).c_str());
    // On a shared machine the wall time says more about the neighbours than about ffmpeg.
    std::printf("%s\n", velmor::bench::summarise("  of which ffmpeg's CPU time", cpu).c_str());
}

}  // namespace

int main() {
    velmor::test::TempHome home;
    benchRecording(home.path());
    benchMerge(home.path());
}
