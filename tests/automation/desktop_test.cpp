#include "desktop_test.h"

#include "fixtures/desktop_listing.h"
#include "platform/linux/process_identity.h"
#include "support/eventually.h"
#include "tools/app_control_tools.h"
#include "tools/catalogue.h"
#include "tools/flow_tools.h"
#include "tools/input_tools.h"
#include "tools/screenshot_tool.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>

namespace velmor::test {

using nlohmann::json;
using namespace std::chrono_literals;

bool Program::running() { return platform::processStart(id()).has_value(); }

void Program::kill() {
    signal(SIGKILL);
    wait();
}

std::optional<std::string> Program::nextStartingWith(const std::string& prefix, int timeoutMs) {
    return nextLine([&](const std::string& line) { return line.starts_with(prefix); }, timeoutMs);
}

bool Program::printed(const std::string& line, int timeoutMs) {
    return nextLine([&](const std::string& got) { return got == line; }, timeoutMs).has_value();
}

std::optional<std::string> Program::nextLine(const std::function<bool(const std::string&)>& wanted, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readLine(line, static_cast<int>(left.count()))) return std::nullopt;
        if (wanted(line)) return line;
    }
}

std::string fixtureName(const Program& fixture) { return "velmor-fixture-" + std::to_string(fixture.id()); }

DesktopSessionTest::DesktopSessionTest()
    : flows(home.path() + "/flows.db"),
      session(testDesktop().accessibility, testDesktop().applications, testDesktop().windows, testDesktop().input,
              flows),
      router({.elements = tools::sessionElementTools(session),
              .recordStep = [this, toFlows = tools::flowStepRecorder(flows)](const tools::StepRecord& step) {
                  toFlows(step);
                  recorded.push_back(step.toolName);
              }}) {
    auto& desktop = testDesktop();
    session.setReservedToolNames(tools::fixedToolNames());
    tools::installAppControlTools(router, session, desktop.windows);
    tools::installInputTools(router, session,
                             {desktop.input, desktop.windows, desktop.applications, desktop.clipboard, desktop.menus});
    tools::installScreenshotTool(router, session, desktop.capture);
    tools::installFlowTools(router, flows, [] { return std::string(); });
}

void DesktopSessionTest::SetUp() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    ASSERT_TRUE((display && *display) || (wayland && *wayland))
        << "desktop tests need the virtual desktop: run scripts/desktop-stack-up.sh <dir> and source <dir>/env.sh";
}

json DesktopSessionTest::call(const std::string& tool, const json& args) { return router.callTool(tool, args).result(); }

std::unique_ptr<Program> DesktopSessionTest::launch(const std::vector<std::string>& argv,
                                                    const std::map<std::string, std::string>& env, int timeoutMs) {
    // Real applications talk a lot on their standard streams, which nobody reads here: a
    // full pipe would stop them. exec keeps the process identifier.
    std::vector<std::string> quiet = {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/null 2>&1"};
    quiet.insert(quiet.end(), argv.begin(), argv.end());
    auto program = std::make_unique<Program>(quiet, env);
    bool listed = listedOnTheDesktopWithin(program->id(), timeoutMs);
    EXPECT_TRUE(listed) << argv.front() << " did not show up on the desktop: " << whyNotListed(program->id());
    return listed ? std::move(program) : nullptr;
}

std::unique_ptr<Program> DesktopSessionTest::launchFixture(const std::vector<std::string>& options) {
    std::vector<std::string> argv = {VELMOR_FIXTURE_APP};
    argv.insert(argv.end(), options.begin(), options.end());
    auto program = std::make_unique<Program>(argv);
    bool ready = program->printed("ready", 10000) && listedOnTheDesktopWithin(program->id(), 10000);
    EXPECT_TRUE(ready) << "the fixture application did not show up on the desktop: " << whyNotListed(program->id());
    return ready ? std::move(program) : nullptr;
}

json DesktopSessionTest::stateWith(const std::string& tool) {
    json state;
    eventually([&] { return !toolStartingWith(state = call("get_page_info"), tool).empty(); }, 5s);
    return state;
}

void DesktopTest::SetUp() {
    DesktopSessionTest::SetUp();
    if (!HasFatalFailure()) restartApp();
}

void DesktopTest::restartApp() {
    app.reset();
    app = launchFixture(mode_);
    ASSERT_TRUE(app);
}

json DesktopTest::start() {
    json started = call("session_start", {{"app_name", fixtureName(*app)}});
    EXPECT_FALSE(started.contains("error")) << started.dump();
    return started;
}

platform::Frame DesktopTest::where(const std::string& widget) {
    auto window = testDesktop().windows.focusedWindowOf(app->id());
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

std::string toolStartingWith(const json& answer, const std::string& prefix) {
    for (const auto& tool : answer.value("available_tools", json::array()))
        if (tool.get<std::string>().starts_with(prefix)) return tool;
    return "";
}

bool lists(const json& diff, const std::string& part, const std::string& tool) {
    for (const auto& entry : diff.value(part, json::array()))
        if (entry == tool || (entry.is_object() && entry.value("tool", "") == tool)) return true;
    return false;
}

bool holdsText(const json& texts, const std::string& text) {
    return texts.is_array() && std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string valueIn(const json& state, const std::string& tool) {
    for (const auto& entry : state.at("interactive_elements"))
        if (entry.at("tool") == tool) return entry.value("value", "<none>");
    return "<no such tool>";
}

std::string clipboardByXclip() { return commandOutput("timeout 5 xclip -selection clipboard -o 2>/dev/null"); }

}  // namespace velmor::test
