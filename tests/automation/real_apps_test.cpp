#include "real_apps_test.h"

#include "fixtures/desktop_listing.h"
#include "platform/linux/process_identity.h"
#include "tools/app_control_tools.h"
#include "tools/flow_tools.h"
#include "tools/input_tools.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace velmor::test {

using nlohmann::json;

bool Program::running() { return platform::processStart(pid()).has_value(); }

bool Program::printed(const std::string& prefix, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !process_.readLine(line, static_cast<int>(left.count()))) return false;
        if (line.rfind(prefix, 0) == 0) return true;
    }
}

void Program::kill() {
    process_.signal(SIGKILL);
    process_.wait();
}

RealAppTest::RealAppTest()
    : flows(home.path() + "/flows.db"),
      session(testDesktop().accessibility, testDesktop().applications,
              testDesktop().windows, testDesktop().input, flows),
      router({.elements = tools::sessionElementTools(session), .recordStep = tools::flowStepRecorder(flows)}) {
    auto& desktop = testDesktop();
    tools::installAppControlTools(router, session, desktop.windows);
    tools::installInputTools(router, session,
                             {desktop.input, desktop.windows, desktop.applications, desktop.clipboard, desktop.menus});
}

void RealAppTest::SetUp() {
    const char* display = std::getenv("DISPLAY");
    ASSERT_TRUE(display && *display)
        << "desktop tests need the virtual desktop: run scripts/desktop-stack-up.sh <dir> and source <dir>/env.sh";
}

json RealAppTest::call(const std::string& tool, const json& args) { return router.callTool(tool, args); }

std::unique_ptr<Program> RealAppTest::launch(const std::vector<std::string>& argv,
                                             const std::map<std::string, std::string>& env, int timeoutMs) {
    // Real applications talk a lot on their standard streams, which nobody reads here: a
    // full pipe would stop them. exec keeps the process identifier.
    std::vector<std::string> quiet = {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/null 2>&1"};
    quiet.insert(quiet.end(), argv.begin(), argv.end());
    auto program = std::make_unique<Program>(quiet, env);
    bool listed = listedOnTheDesktopWithin(program->pid(), timeoutMs);
    EXPECT_TRUE(listed) << argv.front() << " did not show up on the desktop";
    if (!listed) return nullptr;
    return program;
}

std::unique_ptr<Program> RealAppTest::launchFixture(const std::vector<std::string>& options) {
    std::vector<std::string> argv = {VELMOR_FIXTURE_APP};
    argv.insert(argv.end(), options.begin(), options.end());
    auto program = std::make_unique<Program>(argv);
    bool ready = program->printed("ready", 10000) && listedOnTheDesktopWithin(program->pid(), 10000);
    EXPECT_TRUE(ready) << "the fixture application did not show up on the desktop";
    if (!ready) return nullptr;
    return program;
}

json RealAppTest::stateWith(const std::string& tool) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    json state = call("get_page_info");
    while (!toolStartingWith(state, tool).size() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        state = call("get_page_info");
    }
    return state;
}

std::string toolStartingWith(const json& answer, const std::string& prefix) {
    if (!answer.contains("available_tools")) return "";
    for (const auto& tool : answer.at("available_tools")) {
        if (tool.get<std::string>().rfind(prefix, 0) == 0) return tool;
    }
    return "";
}

std::string clipboardByXclip() {
    std::string text;
    if (FILE* pipe = ::popen("timeout 5 xclip -selection clipboard -o 2>/dev/null", "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
        ::pclose(pipe);
    }
    return text;
}

}  // namespace velmor::test
