#include "input_desktop_test.h"

#include "fixtures/desktop_listing.h"
#include "tools/app_control_tools.h"
#include "tools/input_tools.h"
#include "tools/screenshot_tool.h"

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace velmor::test {

using nlohmann::json;

namespace {

constexpr int kStartTimeoutMs = 10000;

}  // namespace

InputFixtureApp::InputFixtureApp() : process_({VELMOR_FIXTURE_APP, "--input"}) {
    ready_ = printed("ready", kStartTimeoutMs) && listedOnTheDesktopWithin(pid(), kStartTimeoutMs);
}

std::optional<std::string> InputFixtureApp::nextStartingWith(const std::string& prefix, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    while (std::chrono::steady_clock::now() < deadline) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        if (!process_.readLine(line, std::max(left, 1))) return std::nullopt;
        if (line.rfind(prefix, 0) == 0) return line;
    }
    return std::nullopt;
}

bool InputFixtureApp::printed(const std::string& line, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        auto got = nextStartingWith(line, std::max(left, 1));
        if (!got) return false;
        if (*got == line) return true;
    }
    return false;
}

bool InputFixtureApp::printsNothingLike(const std::string& prefix, int timeoutMs) {
    return !nextStartingWith(prefix, timeoutMs);
}

InputDesktopTest::InputDesktopTest()
    : flows(home.path() + "/flows.db"),
      session(testDesktop().accessibility, testDesktop().applications,
              testDesktop().windows, testDesktop().input, flows),
      router({.recordStep = [this](const tools::StepRecord& step) { recorded.push_back(step.toolName); }}) {
    auto& desktop = testDesktop();
    tools::installAppControlTools(router, session, desktop.windows);
    tools::installInputTools(router, session,
                             {desktop.input, desktop.windows, desktop.applications, desktop.clipboard, desktop.menus});
    tools::installScreenshotTool(router, session, desktop.capture);
}

void InputDesktopTest::SetUp() {
    const char* display = std::getenv("DISPLAY");
    ASSERT_TRUE(display && *display)
        << "desktop tests need the virtual desktop: run scripts/desktop-stack-up.sh <dir> and source <dir>/env.sh";
    app = std::make_unique<InputFixtureApp>();
    ASSERT_TRUE(app->ready()) << "the fixture application did not show up on the accessibility bus";
}

json InputDesktopTest::call(const std::string& tool, const json& args) { return router.callTool(tool, args); }

json InputDesktopTest::start() {
    json started = call("session_start", {{"app_name", app->name()}});
    EXPECT_FALSE(started.contains("error")) << started.dump();
    return started;
}

platform::Frame InputDesktopTest::where(const std::string& widget) {
    auto window = testDesktop().windows.focusedWindowOf(app->pid());
    EXPECT_TRUE(window) << "the fixture has no focused window";
    app->send("where");
    auto line = app->nextStartingWith("at " + widget + " ");
    EXPECT_TRUE(line) << "the fixture did not say where " << widget << " is";
    platform::Frame frame;
    if (!line || !window) return frame;
    std::istringstream fields(line->substr(4 + widget.size()));
    fields >> frame.x >> frame.y >> frame.width >> frame.height;
    frame.x -= window->frame.x;
    frame.y -= window->frame.y;
    return frame;
}

}  // namespace velmor::test
