// Session work that agents wait for, on the virtual desktop (scripts/desktop-stack-up.sh).
// Prints median, p95 and worst of:
//   - session_start on a Qt 5 window of 100 controls (tests/fixtures/qt5_form.py), less the
//     fixed 0.3 s settle delay;
//   - tools/list (the catalogue with the element tools) while element tools run back to back
//     on the GTK fixture: a list must never wait behind an action.
#include "bench_stats.h"
#include "desktop_session.h"
#include "session_start_timing.h"
#include "fixtures/desktop_listing.h"
#include "support/child_process.h"
#include "tools/app_control_tools.h"
#include "tools/tool_router.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using velmor::test::ChildProcess;

constexpr int kStartSamples = 15;
constexpr int kActions = 30;

void startsOnQt(velmor::automation::SessionManager& session) {
    ChildProcess form({"/usr/bin/python3", VELMOR_QT5_FORM}, {{"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}});
    std::string line;
    if (!form.readLine(line, 15000) || line != "ready" || !velmor::test::listedOnTheDesktopWithin(form.pid(), 15000)) {
        std::fprintf(stderr, "the Qt 5 form did not show up (is python3-pyqt5 installed?)\n");
        return;
    }
    velmor::bench::timeSessionStarts(session, "velmor-qt-form-" + std::to_string(form.pid()), "Qt 5 window",
                                     kStartSamples);
}

void listsWhileActing(velmor::automation::SessionManager& session) {
    ChildProcess app({VELMOR_FIXTURE_APP, "--buttons", "40"});
    if (!velmor::test::fixtureReadyOnTheDesktop(app)) return;
    velmor::tools::ToolRouter router({.elements = velmor::tools::sessionElementTools(session)});
    if (auto started = session.startSession("velmor-fixture-" + std::to_string(app.pid()), std::nullopt); !started) {
        std::fprintf(stderr, "session_start: %s\n", started.error().c_str());
        return;
    }

    std::atomic<bool> acting = true;
    std::thread actions([&] {
        for (int i = 0; i < kActions; ++i) {
            auto answer = session.performAction("click_item_" + std::to_string(i % 40 + 1), nlohmann::json::object());
            if (!answer) std::fprintf(stderr, "action: %s\n", answer.error().c_str());
        }
        acting = false;
    });
    std::vector<double> lists;
    while (acting) {
        auto start = Clock::now();
        auto tools = router.allTools();
        lists.push_back(velmor::bench::millisecondsSince(start));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    actions.join();
    static_cast<void>(session.endSession(std::nullopt));
    std::printf("%s; worst %.3f ms\n",
                velmor::bench::summarise("tools/list during " + std::to_string(kActions) + " element actions", lists)
                    .c_str(),
                *std::max_element(lists.begin(), lists.end()));
}

}  // namespace

int main() {
    if (!velmor::bench::onTheVirtualDesktop()) return 1;
    velmor::bench::DesktopSession bench;
    auto& session = bench.session;
    startsOnQt(session);
    listsWhileActing(session);
    return 0;
}
