// The real velmor started with its tray on the virtual desktop (trayer as the panel's
// system tray), inside a private network namespace: time from launch to the first answered
// MCP request and to the icon in the tray, and resident memory once idle with the tray up
// and no window open. The same without a display, for comparison.
#include "bench_stats.h"
#include "velmor_probe.h"
#include "support/child_process.h"
#include "support/private_network.h"
#include "support/temp_home.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace std::chrono;

namespace {

constexpr uint16_t kPort = 19820;
constexpr const char* kToken = "0123456789abcdef0123456789abcdef";
constexpr int kRuns = 5;

bool iconInTheTray() {
    std::string tree = velmor::test::commandOutput("xwininfo -root -tree 2>/dev/null");
    // The icon is velmor's only window inside another client (the tray's).
    return tree.find("(\"velmor\" \"Velmor\")") != std::string::npos;
}

struct Figures {
    std::vector<double> firstAnswer, trayUp, residentMb;
};

void measure(bool withDisplay, Figures& figures) {
    velmor::test::TempHome home;
    velmor::test::writeFile(home.path() + "/.config/velmor/defaults.json", R"({"velmor_onboarding_complete":true})");
    velmor::test::writeFile(home.path() + "/.velmor/config.json", std::string(R"({"token":")") + kToken + "\"}");
    const std::string request = velmor::bench::mcpRequest(kToken, R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})");
    auto start = steady_clock::now();
    velmor::test::ChildProcess velmor({"/bin/sh", "-c",
                                       std::string(withDisplay ? "" : "unset DISPLAY; ") + "exec " VELMOR_BINARY " 2>/dev/null"});
    while (!velmor::bench::answeredOverHttp(kPort, request) && steady_clock::now() - start < 20s)
        std::this_thread::sleep_for(1ms);
    figures.firstAnswer.push_back(velmor::bench::millisecondsSince(start));
    if (withDisplay) {
        while (!iconInTheTray() && steady_clock::now() - start < 20s) std::this_thread::sleep_for(5ms);
        figures.trayUp.push_back(velmor::bench::millisecondsSince(start));
    }
    std::this_thread::sleep_for(3s);
    figures.residentMb.push_back(velmor::bench::residentKilobytes(velmor.pid()) / 1024.0);
    velmor.signal(SIGTERM);
    velmor.wait(5000);
}

}  // namespace

int main() {
    if (!velmor::bench::onTheVirtualDesktop()) return 1;
    if (auto why = velmor::test::enterPrivateNetwork(); !why.empty()) {
        std::fprintf(stderr, "cannot make a private network: %s\n", why.c_str());
        return 1;
    }
    velmor::test::ChildProcess tray({"/bin/sh", "-c",
                                     "exec trayer --edge top --align right --widthtype request --height 32 "
                                     "--SetDockType true --expand false >/dev/null 2>&1"});
    std::this_thread::sleep_for(1s);

    for (bool withDisplay : {true, false}) {
        Figures figures;
        for (int run = 0; run < kRuns; ++run) measure(withDisplay, figures);
        const std::string mode = withDisplay ? "with the tray" : "headless";
        std::puts(velmor::bench::summarise("launch to first answered tools/list, " + mode, figures.firstAnswer).c_str());
        if (withDisplay) std::puts(velmor::bench::summarise("launch to icon in the tray", figures.trayUp).c_str());
        std::puts(velmor::bench::summarise("resident memory idle, " + mode + " (MB, not ms)", figures.residentMb).c_str());
    }
    return 0;
}
