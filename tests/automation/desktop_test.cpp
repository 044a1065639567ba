#include "desktop_test.h"

#include "fixtures/desktop_listing.h"
#include "tools/app_control_tools.h"
#include "tools/flow_tools.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace velmor::test {

using nlohmann::json;

namespace {

constexpr int kStartTimeoutMs = 10000;

}  // namespace

FixtureApp::FixtureApp() : process_({VELMOR_FIXTURE_APP}) {
    ready_ = printed("ready", kStartTimeoutMs) && listedOnTheDesktopWithin(pid(), kStartTimeoutMs);
}

bool FixtureApp::printed(const std::string& line, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    while (std::chrono::steady_clock::now() < deadline) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        if (!process_.readLine(got, std::max(left, 1))) return false;
        if (got == line) return true;
    }
    return false;
}

DesktopTest::DesktopTest()
    : flows(home.path() + "/flows.db"),
      session(testDesktop().accessibility, testDesktop().applications,
              testDesktop().windows, testDesktop().input, flows),
      router({.elements = tools::sessionElementTools(session), .recordStep = tools::flowStepRecorder(flows)}) {
    tools::installAppControlTools(router, session, testDesktop().windows);
    tools::installFlowTools(router, flows, [] { return std::string(); });
}

void DesktopTest::SetUp() {
    const char* display = std::getenv("DISPLAY");
    ASSERT_TRUE(display && *display)
        << "desktop tests need the virtual desktop: run scripts/desktop-stack-up.sh <dir> and source <dir>/env.sh";
    restartApp();
}

void DesktopTest::restartApp() {
    app.reset();
    app = std::make_unique<FixtureApp>();
    ASSERT_TRUE(app->ready()) << "the fixture application did not show up on the accessibility bus";
}

json DesktopTest::call(const std::string& tool, const json& args) { return router.callTool(tool, args); }

json DesktopTest::start() { return call("session_start", {{"app_name", app->name()}}); }

bool holdsTool(const json& list, const std::string& name) {
    for (const auto& item : list) {
        if ((item.is_string() && item == name) || (item.is_object() && item.value("tool", "") == name)) return true;
    }
    return false;
}

std::string valueIn(const json& state, const std::string& tool) {
    for (const auto& entry : state.at("interactive_elements")) {
        if (entry.at("tool") == tool) return entry.value("value", "<none>");
    }
    return "<no such tool>";
}

json eventually(const std::function<json()>& ask, const std::function<bool(const json&)>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    json answer = ask();
    while (!done(answer) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        answer = ask();
    }
    return answer;
}

}  // namespace velmor::test
