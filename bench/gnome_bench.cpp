// The desktop tools on a headless mutter (scripts/mutter-stack-up.sh <dir>, then run with
// VELMOR_MUTTER_STACK=<dir>), with the GTK fixture application. Prints median and p95 of:
//   - a screenshot (the monitor, 1280x800), from the tool call to its base64 PNG answer,
//   - type_text of 100 characters (ASCII) into the fixture's field, to its answer,
//   - a button press to its answered diff, less the fixed 0.3 s settle delay.
// Typing includes the tool's pace between characters.
#include "bench_stats.h"
#include "desktop_session.h"
#include "support/child_process.h"
#include "support/stack_environment.h"
#include "tools/app_control_tools.h"
#include "tools/input_tools.h"
#include "tools/screenshot_tool.h"
#include "tools/tool_router.h"
#include "fixtures/desktop_listing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using velmor::test::ChildProcess;

constexpr int kSamples = 20;
constexpr int kTypingSamples = 5;
constexpr double kSettleMilliseconds = 300;

}  // namespace

int main() {
    if (auto missing = velmor::test::takeStackEnvironment("VELMOR_MUTTER_STACK", "GNOME (headless mutter)",
                                                         "scripts/mutter-stack-up.sh");
        !missing.empty()) {
        std::fprintf(stderr, "%s\n", missing.c_str());
        return 1;
    }
    ChildProcess app({VELMOR_FIXTURE_APP, "--input"});
    if (!velmor::test::fixtureReadyOnTheDesktop(app)) {
        std::fprintf(stderr, "the fixture application did not start\n");
        return 1;
    }
    velmor::bench::DesktopSession bench;
    auto& desktop = bench.desktop;
    auto& session = bench.session;
    velmor::tools::ToolRouter router({.elements = velmor::tools::sessionElementTools(session),
                                      .recordStep = [](const velmor::tools::StepRecord&) {}});
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

    // The first screenshot starts mutter's session and the PipeWire stream, once per process.
    auto first = Clock::now();
    router.callTool("screenshot", json::object());
    std::printf("first screenshot (session start): %.1f ms\n", velmor::bench::millisecondsSince(first));
    std::vector<double> shots;
    for (int i = 0; i < kSamples; ++i) {
        auto start = Clock::now();
        velmor::tools::ToolAnswer shot = router.callTool("screenshot", json::object());
        shots.push_back(velmor::bench::millisecondsSince(start));
        if (!shot.image()) {
            std::fprintf(stderr, "screenshot: %s\n", shot.result().dump().c_str());
            return 1;
        }
    }
    std::printf("%s\n", velmor::bench::summarise("screenshot 1280x800", shots).c_str());

    const std::string hundred = std::string(50, 'a') + std::string(50, 'B');
    std::vector<double> typing;
    for (int i = 0; i < kTypingSamples; ++i) {
        router.callTool("press_key", {{"key", "ctrl+a"}});
        auto start = Clock::now();
        json answer = router.callTool("type_text", {{"text", hundred}}).result();
        typing.push_back(velmor::bench::millisecondsSince(start));
        if (answer.contains("error")) {
            std::fprintf(stderr, "type_text: %s\n", answer.dump().c_str());
            return 1;
        }
    }
    std::printf("%s\n", velmor::bench::summarise("type_text 100 characters", typing).c_str());

    // Presses on the plain fixture's OK button (GTK 3: focused, then space).
    ChildProcess plain({VELMOR_FIXTURE_APP});
    if (!velmor::test::fixtureReadyOnTheDesktop(plain)) {
        std::fprintf(stderr, "the second fixture application did not start\n");
        return 1;
    }
    started = router.callTool("session_start", {{"app_name", "velmor-fixture-" + std::to_string(plain.pid())}}).result();
    std::string ok;
    for (const auto& tool : started.value("available_tools", json::array()))
        if (tool.is_string() && tool.get<std::string>().rfind("click_ok", 0) == 0) ok = tool.get<std::string>();
    if (ok.empty()) {
        std::fprintf(stderr, "no OK button: %s\n", started.dump().c_str());
        return 1;
    }
    std::vector<double> presses;
    std::string route;
    for (int i = 0; i < kSamples; ++i) {
        auto start = Clock::now();
        json answer = router.callTool(ok, json::object()).result();
        presses.push_back(velmor::bench::millisecondsSince(start) - kSettleMilliseconds);
        if (answer.contains("error")) {
            std::fprintf(stderr, "%s: %s\n", ok.c_str(), answer.dump().c_str());
            return 1;
        }
        route = answer.value("pressed_by", "?");
    }
    std::printf("%s (%s)\n", velmor::bench::summarise("press to answered diff", presses).c_str(), route.c_str());
    return 0;
}
