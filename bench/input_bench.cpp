// The screenshot tool and press_key on the virtual desktop (scripts/desktop-stack-up.sh),
// with the GTK fixture application. Prints median and p95 of:
//   - a screenshot of a 1280x800 window, from the tool call to its base64 PNG answer,
//   - press_key to its answered diff, less the fixed 0.3 s settle delay.
#include "bench_stats.h"
#include "desktop_session.h"
#include "support/child_process.h"
#include "tools/app_control_tools.h"
#include "tools/input_tools.h"
#include "tools/screenshot_tool.h"
#include "tools/tool_router.h"
#include "fixtures/desktop_listing.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using velmor::test::ChildProcess;

constexpr int kSamples = 20;
constexpr double kSettleMilliseconds = 300;


}  // namespace

int main() {
    ChildProcess app({VELMOR_FIXTURE_APP});
    if (!velmor::test::fixtureReadyOnTheDesktop(app)) {
        std::fprintf(stderr, "the fixture application did not start (is the virtual desktop up?)\n");
        return 1;
    }
    velmor::bench::DesktopSession bench;
    auto& desktop = bench.desktop;
    auto& session = bench.session;
    velmor::tools::ToolRouter router({.recordStep = [](const velmor::tools::StepRecord&) {}});
    velmor::tools::installAppControlTools(router, session, desktop.windows);
    velmor::tools::installInputTools(router, session,
                                     {desktop.input, desktop.windows, desktop.applications, desktop.clipboard,
                                      desktop.menus});
    velmor::tools::installScreenshotTool(router, session, desktop.capture);

    json started = router.callTool("session_start", {{"app_name", "velmor-fixture-" + std::to_string(app.pid())}}).result();
    if (started.contains("error")) {
        std::fprintf(stderr, "session_start: %s\n", started.dump().c_str());
        return 1;
    }
    router.callTool("set_window_frame", {{"x", 0}, {"y", 0}, {"width", 1280}, {"height", 800}});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    json windows = router.callTool("get_windows", json::object()).result();
    std::printf("window: %s\n", windows.dump().c_str());

    std::vector<double> shots;
    size_t bytes = 0;
    for (int i = 0; i < kSamples; ++i) {
        auto start = Clock::now();
        velmor::tools::ToolAnswer shot = router.callTool("screenshot", json::object());
        shots.push_back(velmor::bench::millisecondsSince(start));
        if (!shot.image()) {
            std::fprintf(stderr, "screenshot: %s\n", shot.result().dump().c_str());
            return 1;
        }
        bytes = shot.image()->pngBase64.size();
    }
    std::printf("%s (base64 %zu bytes)\n", velmor::bench::summarise("screenshot 1280x800", shots).c_str(), bytes);

    std::vector<double> keys;
    for (int i = 0; i < kSamples; ++i) {
        auto start = Clock::now();
        json answer = router.callTool("press_key", {{"key", i % 2 ? "left" : "right"}}).result();
        keys.push_back(velmor::bench::millisecondsSince(start) - kSettleMilliseconds);
        if (answer.contains("error")) {
            std::fprintf(stderr, "press_key: %s\n", answer.dump().c_str());
            return 1;
        }
    }
    std::printf("%s\n", velmor::bench::summarise("press_key to answered diff, less the 0.3 s settle", keys).c_str());
    return 0;
}
