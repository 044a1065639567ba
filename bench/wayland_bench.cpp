// The desktop tools on headless sway (scripts/wayland-stack-up.sh) beside the X11 virtual
// desktop (scripts/desktop-stack-up.sh), in one run on the same machine. Prints median and
// p95 on each desktop, and sway's figure as a multiple of the X11 one, of:
//   - an element press (a GTK 3 button of the fixture) to its answered diff, less the fixed
//     0.3 s settle, which would hide the difference;
//   - type_text of 100 characters into the fixture's field, less the fixed 0.2 s settle.
// Run from a shell with the X11 desktop's env.sh sourced and VELMOR_WAYLAND_STACK naming the
// Wayland desktop's folder; with VELMOR_MUTTER_STACK naming a headless mutter's folder as
// well, GNOME is measured the same way. Each desktop is measured by a child process of its own: a
// process opens one desktop for its life.
#include "automation/session_manager.h"
#include "bench_stats.h"
#include "fixtures/desktop_listing.h"
#include "flows/flow_store.h"
#include "support/child_process.h"
#include "support/stack_environment.h"
#include "support/temp_home.h"
#include "tools/app_control_tools.h"
#include "tools/input_tools.h"
#include "tools/tool_router.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using velmor::test::ChildProcess;

constexpr int kPresses = 20;
constexpr int kTypings = 5;
constexpr double kPressSettleMilliseconds = 300;
constexpr double kTypeSettleMilliseconds = 200;
// Upper and lower case, digits, punctuation, repeats and characters beyond ASCII.
const std::string kHundredCharacters =
    "Hello, World! aaaa bbbb 1234567890 The QUICK brown fox jumps; over: the lazy dog? ÄÖÜ ß é ñ ☃ ok ZZZ";

// Measures on this process's desktop; prints "press <median>" and "type <median>" lines
// for the parent, and the summaries for the reader.
int measure(const std::string& desktopName) {
    velmor::test::TempHome home;
    velmor::flows::FlowStore flows(home.path() + "/flows.db");
    auto& desktop = velmor::test::testDesktop();
    velmor::automation::SessionManager session(desktop.accessibility, desktop.applications, desktop.windows,
                                               desktop.input, flows);
    velmor::tools::ToolRouter router({.recordStep = [](const velmor::tools::StepRecord&) {}});
    velmor::tools::installAppControlTools(router, session, desktop.windows);
    velmor::tools::installInputTools(router, session, {desktop.input, desktop.windows, desktop.applications,
                                                       desktop.clipboard, desktop.menus});

    std::vector<double> presses;
    std::string pressedBy;
    {
        ChildProcess app({VELMOR_FIXTURE_APP, "--buttons", "10"});
        if (!velmor::test::fixtureReadyOnTheDesktop(app)) return 1;
        auto started = session.startSession("velmor-fixture-" + std::to_string(app.pid()), std::nullopt);
        if (!started) {
            std::fprintf(stderr, "%s session_start: %s\n", desktopName.c_str(), started.error().c_str());
            return 1;
        }
        for (int i = 0; i < kPresses; ++i) {
            auto start = Clock::now();
            auto answer = session.performAction("click_item_" + std::to_string(i % 10 + 1), json::object());
            presses.push_back(velmor::bench::millisecondsSince(start) - kPressSettleMilliseconds);
            if (!answer) {
                std::fprintf(stderr, "%s press: %s\n", desktopName.c_str(), answer.error().c_str());
                return 1;
            }
            pressedBy = answer->value("pressed_by", "");
        }
        static_cast<void>(session.endSession(std::nullopt));
    }
    std::vector<double> typings;
    {
        ChildProcess app({VELMOR_FIXTURE_APP, "--input"});
        if (!velmor::test::fixtureReadyOnTheDesktop(app)) return 1;
        json started = router.callTool("session_start", {{"app_name", "velmor-fixture-" + std::to_string(app.pid())}}).result();
        if (started.contains("error")) {
            std::fprintf(stderr, "%s session_start: %s\n", desktopName.c_str(), started.dump().c_str());
            return 1;
        }
        for (int i = 0; i < kTypings; ++i) {
            router.callTool("press_key", {{"key", "ctrl+a"}});
            router.callTool("press_key", {{"key", "backspace"}});
            auto start = Clock::now();
            json answer = router.callTool("type_text", {{"text", kHundredCharacters}}).result();
            typings.push_back(velmor::bench::millisecondsSince(start) - kTypeSettleMilliseconds);
            if (answer.contains("error")) {
                std::fprintf(stderr, "%s type_text: %s\n", desktopName.c_str(), answer.dump().c_str());
                return 1;
            }
        }
    }
    const std::string how = pressedBy.empty() ? "" : " (" + pressedBy + ")";
    const std::string pressFigures = velmor::bench::summarise(
        desktopName + ": element press" + how + " to answered diff, less the 0.3 s settle", presses);
    const std::string typeFigures =
        velmor::bench::summarise(desktopName + ": type_text of 100 characters, less the 0.2 s settle", typings);
    std::fprintf(stderr, "%s\n%s\n", pressFigures.c_str(), typeFigures.c_str());
    std::printf("press %.3f\ntype %.3f\n", velmor::bench::median(presses), velmor::bench::median(typings));
    return 0;
}

// The figures a child measured on one desktop, by name; empty when it failed.
std::map<std::string, double> measuredBy(const char* self, const std::string& desktopName) {
    ChildProcess child({self, "--measure", desktopName});
    std::map<std::string, double> figures;
    for (std::string line; child.readLine(line, 120000);) {
        std::istringstream words(line);
        std::string name;
        double value = 0;
        if (words >> name >> value) figures[name] = value;
    }
    std::fputs(child.drainStderr().c_str(), stderr);
    if (child.wait(10000) != 0) figures.clear();
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--measure") == 0) {
        const std::string desktopName = argv[2];
        std::string missing;
        if (desktopName == "wayland")
            missing = velmor::test::takeStackEnvironment("VELMOR_WAYLAND_STACK", "Wayland", "scripts/wayland-stack-up.sh");
        else if (desktopName == "gnome")
            missing = velmor::test::takeStackEnvironment("VELMOR_MUTTER_STACK", "GNOME (headless mutter)",
                                                         "scripts/mutter-stack-up.sh");
        if (!missing.empty()) {
            std::fprintf(stderr, "%s\n", missing.c_str());
            return 1;
        }
        return measure(desktopName);
    }
    if (!velmor::bench::onTheVirtualDesktop()) return 1;
    if (!std::getenv("VELMOR_WAYLAND_STACK")) {
        std::fputs("needs the Wayland desktop too: scripts/wayland-stack-up.sh <dir> and VELMOR_WAYLAND_STACK=<dir>\n",
                    stderr);
        return 1;
    }
    auto x11 = measuredBy(argv[0], "x11");
    auto wayland = measuredBy(argv[0], "wayland");
    if (x11.empty() || wayland.empty()) return 1;
    std::printf("element press on sway: %.2fx the X11 figure (%.1f ms against %.1f ms)\n",
                wayland["press"] / x11["press"], wayland["press"], x11["press"]);
    std::printf("type_text of 100 characters: %.0f ms on sway, %.0f ms on X11\n", wayland["type"], x11["type"]);
    if (!std::getenv("VELMOR_MUTTER_STACK")) return 0;
    auto gnome = measuredBy(argv[0], "gnome");
    if (gnome.empty()) return 1;
    std::printf("element press on GNOME (mutter): %.2fx the X11 figure (%.1f ms against %.1f ms)\n",
                gnome["press"] / x11["press"], gnome["press"], x11["press"]);
    std::printf("type_text of 100 characters: %.0f ms on GNOME (mutter)\n", gnome["type"]);
    return 0;
}
