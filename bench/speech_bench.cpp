// Speech figures.
//  - prefetch_audio of 20 lines against a local vendor that answers each request after
//    200 ms (target: under 600 ms in all);
//  - from a speak call with the system voice to the first sound at the PulseAudio sink
//    (needs the test desktop's null sink: scripts/desktop-stack-up.sh and its env.sh).
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <thread>

#include "bench_stats.h"
#include "media/cloud_providers.h"
#include "media/fake_speech_vendor.h"
#include "media/tts_manager.h"
#include "support/child_process.h"
#include "support/temp_home.h"
#include "tools/speech_tools.h"

using namespace velmor;
using Clock = std::chrono::steady_clock;

namespace {

void prefetchBench() {
    test::TempHome home;
    test::FakeSpeechVendor vendor([](const test::FakeSpeechVendor::Request& request) -> test::FakeSpeechVendor::Reply {
        return {200, "audio:" + request.body, std::chrono::milliseconds(200)};
    });
    media::TTSEngine systemVoice;
    media::AudioPlayer player;
    media::TTSManager speech(systemVoice, media::makeCloudProviders(player, {.openAI = vendor.baseUrl()}));
    if (!speech.configureProvider("openai", "sk-bench", true)) {
        std::printf("prefetch: the bench key was refused\n");
        return;
    }
    tools::ToolRouter router;
    tools::installSpeechTools(router, speech, home.path() + "/.velmor/config.json");
    nlohmann::json lines = nlohmann::json::array();
    for (int i = 0; i < 20; ++i) lines.push_back({{"text", "Narration line number " + std::to_string(i)}});
    std::vector<double> samples;
    for (int run = 0; run < 7; ++run) {
        speech.clearCache();
        auto start = Clock::now();
        auto answer = router.callTool("prefetch_audio", {{"lines", lines}}).result();
        samples.push_back(bench::millisecondsSince(start));
        if (answer["succeeded"] != 20) std::cerr << "unexpected answer: " << answer.dump() << "\n";
    }
    std::cout << bench::summarise("prefetch_audio, 20 lines, vendor answers after 200 ms", samples) << "\n";
    std::cout << "  most requests in flight at once: " << vendor.peakConcurrency() << "\n";
}

// Listens to the sink's monitor and notes when the first loud sample arrives.
void firstSoundBench() {
    media::TTSEngine systemVoice;
    std::vector<double> samples;
    for (int run = 0; run < 5; ++run) {
        test::ChildProcess recorder({"sh", "-c",
                                     "exec parecord -d null.monitor --raw --format=s16le --rate=16000 --channels=1 "
                                     "--latency-msec=5 | stdbuf -oL od -An -v -td2 -w2"});
        std::string line;
        // Let the recorder connect. An idle null sink is suspended, so its monitor sends
        // nothing until sound starts: the first loud sample arrives as it is played.
        auto settle = Clock::now();
        while (bench::millisecondsSince(settle) < 400) recorder.readLine(line, 100);
        std::atomic<Clock::time_point> calledAt{};
        std::thread speaker([&] {
            calledAt = Clock::now();
            (void)systemVoice.speakSync("Hello, this is the system voice.", std::nullopt);
        });
        double heardAfter = -1;
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline && recorder.readLine(line, 5000)) {
            if (calledAt.load() == Clock::time_point{}) continue;
            if (std::abs(std::atoi(line.c_str())) > 500) {
                heardAfter = bench::millisecondsSince(calledAt.load());
                break;
            }
        }
        speaker.join();
        recorder.signal(SIGTERM);
        if (heardAfter >= 0) samples.push_back(heardAfter);
        else std::cerr << "no sound reached the sink in run " << run << "\n";
    }
    std::cout << bench::summarise("speak (system voice) to first sound at the sink", samples) << "\n";
}

}  // namespace

int main() {
    prefetchBench();
    firstSoundBench();
    return 0;
}
