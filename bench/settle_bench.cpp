// How long an element action takes to answer now that answers wait for the interface to
// settle, and whether the answer holds what the action opened. On the virtual desktop
// (scripts/desktop-stack-up.sh), against the GTK fixture; prints:
//   - element action to answer on an idle machine, where nothing opens (the OK buttons
//     retitle the window): median, p95 and worst;
//   - with every core busy, how many of 10 presses that open a dialog answer with the
//     dialog's buttons, and how long those answers took;
//   - element action to answer on a Qt 5 window (tests/fixtures/qt5_form.py), idle.
#include "bench_stats.h"
#include "desktop_session.h"
#include "fixtures/desktop_listing.h"
#include "support/child_process.h"
#include "support/cpu_load.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

constexpr int kIdleActions = 40;
constexpr int kLoadedRuns = 10;

bool lists(const json& diff, const std::string& tool) {
    for (const auto& entry : diff.value("added", json::array()))
        if (entry.is_object() && entry.value("tool", "") == tool) return true;
    return false;
}

void idleActions(velmor::automation::SessionManager& session) {
    std::vector<double> answers;
    for (int i = 0; i < kIdleActions; ++i) {
        auto start = Clock::now();
        auto answer = session.performAction(i % 2 ? "click_ok_2" : "click_ok", json::object());
        answers.push_back(velmor::bench::millisecondsSince(start));
        if (!answer) std::fprintf(stderr, "action: %s\n", answer.error().c_str());
    }
    std::printf("%s\n", velmor::bench::summarise("element action to answer, idle, nothing opens", answers).c_str());
}

void dialogsUnderLoad(velmor::automation::SessionManager& session) {
    velmor::test::CpuLoad load;
    int listed = 0;
    std::vector<double> answers;
    for (int run = 0; run < kLoadedRuns; ++run) {
        auto start = Clock::now();
        auto opened = session.performAction("click_open_dialog", json::object());
        answers.push_back(velmor::bench::millisecondsSince(start));
        if (opened && lists(*opened, "click_confirm")) ++listed;
        // Closed through its own button, or found by a fresh scan when the answer missed it.
        if (!session.performAction("click_confirm", json::object())) {
            static_cast<void>(session.getState());
            static_cast<void>(session.performAction("click_confirm", json::object()));
        }
    }
    std::printf("dialog opened under load listed in the press's answer: %d of %d\n", listed, kLoadedRuns);
    std::printf("%s\n", velmor::bench::summarise("element action to answer, under load, dialog opens", answers).c_str());
}

// Qt 5 sends its events through its own accessibility adaptor: check boxes of the Qt 5
// form toggled back and forth.
void qtToggles(velmor::automation::SessionManager& session) {
    velmor::test::ChildProcess form({"/usr/bin/python3", VELMOR_QT5_FORM}, {{"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}});
    std::string line;
    if (!form.readLine(line, 15000) || line != "ready" || !velmor::test::listedOnTheDesktopWithin(form.pid(), 15000)) {
        std::fprintf(stderr, "the Qt 5 form did not show up (is python3-pyqt5 installed?)\n");
        return;
    }
    if (auto started = session.startSession("velmor-qt-form-" + std::to_string(form.pid()), std::nullopt); !started) {
        std::fprintf(stderr, "session_start: %s\n", started.error().c_str());
        return;
    }
    std::vector<double> answers;
    for (int i = 0; i < kIdleActions; ++i) {
        auto start = Clock::now();
        auto answer = session.performAction("toggle_option_" + std::to_string(i % 4 + 1), json::object());
        answers.push_back(velmor::bench::millisecondsSince(start));
        if (!answer) std::fprintf(stderr, "action: %s\n", answer.error().c_str());
    }
    std::printf("%s\n", velmor::bench::summarise("element action to answer, idle, Qt 5 check box", answers).c_str());
    static_cast<void>(session.endSession(std::nullopt));
}

}  // namespace

int main() {
    if (!velmor::bench::onTheVirtualDesktop()) return 1;
    velmor::bench::DesktopSession bench;
    auto& session = bench.session;
    velmor::test::ChildProcess app({VELMOR_FIXTURE_APP});
    if (!velmor::test::fixtureReadyOnTheDesktop(app)) return 1;
    if (auto started = session.startSession("velmor-fixture-" + std::to_string(app.pid()), std::nullopt); !started) {
        std::fprintf(stderr, "session_start: %s\n", started.error().c_str());
        return 1;
    }
    idleActions(session);
    dialogsUnderLoad(session);
    static_cast<void>(session.endSession(std::nullopt));
    qtToggles(session);
    return 0;
}
