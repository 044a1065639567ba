// Scans and element tools on large windows of the GTK fixture application, on the virtual
// desktop (scripts/desktop-stack-up.sh). Prints median and p95 of:
//   - a scan of a window with 500 buttons,
//   - a scan of a window of 1,500 accessible objects (500 buttons, 925 labels, the rows),
//     and, for comparison, a plain libatspi walk of the same window,
//   - an element tool call to its answered diff in the 500-button window (these buttons show
//     no effect, so each answer includes the wait an action with no effect yet is given),
//   - session_start on gnome-calculator (GTK 4), less the 0.3 s settle, and its scans,
//   - session_start on a window of 20,000 buttons and on LibreOffice Calc (its grid) and
//     Writer, less the settle: beyond what a scan reads, all to answer within 1 s.
#include "automation/element_scanner.h"
#include "automation/session_manager.h"
#include "automation_naive_walk.h"
#include "bench_stats.h"
#include "session_start_timing.h"
#include "flows/flow_store.h"
#include "support/child_process.h"
#include "support/temp_home.h"
#include "fixtures/desktop_listing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using velmor::test::ChildProcess;

constexpr int kScanSamples = 30;
constexpr int kActionSamples = 20;
constexpr int kNaiveSamples = 3;
constexpr double kSettleMilliseconds = 300;
constexpr int kSessionSamples = 10;
constexpr const char* kGtk4Application = "/usr/bin/gnome-calculator";
// The program itself, not its launcher, which hands over to it and leaves it behind.
constexpr const char* kSpreadsheet = "/usr/lib/libreoffice/program/soffice.bin";


// The first scan of an application needs the toolkit's object cache, which it builds when
// told; session_start tells it before its settle delay, as here. Reported on its own.
std::vector<double> timeScans(int32_t pid, size_t& tools, double& first) {
    auto& accessibility = velmor::test::testDesktop().accessibility;
    velmor::automation::ElementScanner scanner(accessibility, pid);
    accessibility.prepare(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(kSettleMilliseconds)));
    auto start = Clock::now();
    tools = scanner.scan().elements.size();
    first = velmor::bench::millisecondsSince(start);
    std::vector<double> samples;
    for (int i = 0; i < kScanSamples; ++i) {
        auto start = Clock::now();
        scanner.scan();
        samples.push_back(velmor::bench::millisecondsSince(start));
    }
    return samples;
}

}  // namespace

// "gtk4" as the only argument runs the GTK 4 figures alone, "huge" the windows beyond a scan.
int main(int argc, char** argv) {
    const bool gtk4Only = argc == 2 && std::string(argv[1]) == "gtk4";
    const bool hugeOnly = argc == 2 && std::string(argv[1]) == "huge";
    if (!velmor::bench::onTheVirtualDesktop()) return 1;
    velmor::test::TempHome home;
    velmor::flows::FlowStore flows(home.path() + "/flows.db");
    auto& desktop = velmor::test::testDesktop();

    if (hugeOnly) {
        ChildProcess app({VELMOR_FIXTURE_APP, "--buttons", "20000"});
        if (!velmor::test::fixtureReadyOnTheDesktop(app)) return 1;
        velmor::automation::SessionManager session(desktop.accessibility, desktop.applications, desktop.windows,
                                                   desktop.input, flows);
        velmor::bench::timeSessionStarts(session, "velmor-fixture-" + std::to_string(app.pid()),
                                         "window of 20,000 buttons", kSessionSamples);
    }
    for (auto [module, label] : {std::pair{"--calc", "LibreOffice Calc"}, {"--writer", "LibreOffice Writer"}}) {
        if (!hugeOnly || access(kSpreadsheet, X_OK) != 0) break;
        // Its profile goes to the temporary home. A first start only creates the profile and
        // restarts itself, so that one runs ahead. Its output goes nowhere (see below).
        std::string program = kSpreadsheet;
        ChildProcess app({"/bin/sh", "-c",
                          "export SAL_USE_VCLPLUGIN=gtk3; " + program + " --terminate_after_init >/dev/null 2>&1; exec " +
                              program + " " + module + " --norestore --nologo >/dev/null 2>&1"});
        if (!velmor::test::listedOnTheDesktopWithin(static_cast<int32_t>(app.pid()), 60000)) return 1;
        velmor::automation::SessionManager session(desktop.accessibility, desktop.applications, desktop.windows,
                                                   desktop.input, flows);
        velmor::bench::timeSessionStarts(session, "soffice", label, kSessionSamples);
    }
    if (hugeOnly) return 0;

    if (!gtk4Only) {
        ChildProcess app({VELMOR_FIXTURE_APP, "--buttons", "500"});
        if (!velmor::test::fixtureReadyOnTheDesktop(app)) return 1;
        size_t tools = 0;
        double first = 0;
        auto scans = timeScans(static_cast<int32_t>(app.pid()), tools, first);
        std::printf("%s\n", velmor::bench::summarise("scan, window of 500 buttons (" + std::to_string(tools) + " tools)",
                                                     scans)
                                .c_str());
        std::printf("first scan, 0.3 s after prepare (as in session_start): %.3f ms\n", first);

        velmor::automation::SessionManager session(desktop.accessibility, desktop.applications, desktop.windows, desktop.input, flows);
        if (auto started = session.startSession("velmor-fixture-" + std::to_string(app.pid()), std::nullopt); !started)
            std::fprintf(stderr, "session_start: %s\n", started.error().c_str());
        std::vector<double> actions;
        for (int i = 0; i < kActionSamples; ++i) {
            std::string tool = "click_item_" + std::to_string(i + 1);
            auto start = Clock::now();
            auto answer = session.performAction(tool, nlohmann::json::object());
            actions.push_back(velmor::bench::millisecondsSince(start));
            if (!answer) std::fprintf(stderr, "%s: %s\n", tool.c_str(), answer.error().c_str());
        }
        std::printf("%s\n",
                    velmor::bench::summarise("element tool to diff, 500 buttons that show no effect", actions).c_str());
        static_cast<void>(session.endSession(std::nullopt));
    }
    if (!gtk4Only) {
        ChildProcess app({VELMOR_FIXTURE_APP, "--buttons", "500", "--labels", "925"});
        if (!velmor::test::fixtureReadyOnTheDesktop(app)) return 1;
        size_t tools = 0;
        double first = 0;
        auto scans = timeScans(static_cast<int32_t>(app.pid()), tools, first);
        std::printf("%s\n", velmor::bench::summarise("scan, window of 1,500 objects (" + std::to_string(tools) +
                                                         " tools)",
                                                     scans)
                                .c_str());
        std::printf("first scan, 0.3 s after prepare (as in session_start): %.3f ms\n", first);
        std::vector<double> naive;
        int objects = 0;
        for (int i = 0; i < kNaiveSamples; ++i) naive.push_back(velmor::bench::naiveWalkMilliseconds(app.pid(), objects));
        std::printf("%s\n", velmor::bench::summarise("plain libatspi walk of the same window (" +
                                                         std::to_string(objects) + " objects)",
                                                     naive)
                                .c_str());
    }
    if (access(kGtk4Application, X_OK) != 0) {
        std::printf("no %s (scripts/install-deps.sh installs it): GTK 4 figures left out\n", kGtk4Application);
        return 0;
    }
    {
        // Its warnings go nowhere: a pipe nobody reads would fill and stop it.
        ChildProcess app({"/bin/sh", "-c", std::string("exec ") + kGtk4Application + " >/dev/null 2>&1"});
        auto pid = static_cast<int32_t>(app.pid());
        if (!velmor::test::listedOnTheDesktopWithin(pid, 20000)) return 1;
        velmor::automation::SessionManager session(desktop.accessibility, desktop.applications, desktop.windows, desktop.input,
                                                   flows);
        velmor::bench::timeSessionStarts(session, "gnome-calculator", "gnome-calculator (GTK 4)", kSessionSamples);
        size_t scanned = 0;
        double first = 0;
        auto scans = timeScans(pid, scanned, first);
        std::printf("%s\n", velmor::bench::summarise("scan, gnome-calculator (GTK 4)", scans).c_str());
    }
    return 0;
}
