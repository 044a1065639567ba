#pragma once

#include "automation/session_manager.h"
#include "flows/flow_store.h"
#include "platform/windows.h"
#include "support/child_process.h"
#include "support/temp_home.h"
#include "tools/tool_router.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::test {

// A program started for one test, its standard output read line by line; killed by its PID
// when the test ends.
class Program : public ChildProcess {
public:
    using ChildProcess::ChildProcess;

    int32_t id() const { return static_cast<int32_t>(pid()); }
    bool running();
    void kill();
    // A command on the fixture's standard input, such as "where" or "hide".
    void send(const std::string& command) { writeStdin(command + "\n"); }
    // The first line printed from now on that starts with `prefix`; the lines before it are
    // passed over.
    std::optional<std::string> nextStartingWith(const std::string& prefix, int timeoutMs = 5000);
    // Waits for exactly `line`, such as "pressed OK".
    bool printed(const std::string& line, int timeoutMs = 5000);
    bool printsNothingLike(const std::string& prefix, int timeoutMs) { return !nextStartingWith(prefix, timeoutMs); }

private:
    std::optional<std::string> nextLine(const std::function<bool(const std::string&)>& wanted, int timeoutMs);
};

// The name the fixture application goes by on the desktop.
std::string fixtureName(const Program& fixture);

// A session on the virtual desktop (scripts/desktop-stack-up.sh: DISPLAY and the session bus
// in the environment) with a flow store in a temporary home, and a router with the tools an
// agent calls: app control, element, input, menu, screenshot and flow tools. The steps the
// router records go to the flow store and, by name, to `recorded`.
class DesktopSessionTest : public ::testing::Test {
protected:
    DesktopSessionTest();
    void SetUp() override;

    nlohmann::json call(const std::string& tool, const nlohmann::json& args = nlohmann::json::object());
    // Starts a program and waits until it is listed on the desktop; null (and the test
    // failed) when it is not within `timeoutMs`.
    std::unique_ptr<Program> launch(const std::vector<std::string>& argv,
                                    const std::map<std::string, std::string>& env = {}, int timeoutMs = 20000);
    // The fixture application in the mode `options` choose, once it is ready.
    std::unique_ptr<Program> launchFixture(const std::vector<std::string>& options);
    // Asks get_page_info until a tool starting with `tool` is among its tools or 5 s have
    // passed; the last answer.
    nlohmann::json stateWith(const std::string& tool);

    TempHome home;
    flows::FlowStore flows;
    automation::SessionManager session;
    tools::ToolRouter router;
    std::vector<std::string> recorded;
};

// The fixture application, started afresh for every test in the mode `mode` chooses.
class DesktopTest : public DesktopSessionTest {
protected:
    explicit DesktopTest(std::vector<std::string> mode = {}) : mode_(std::move(mode)) {}
    void SetUp() override;

    // session_start of the fixture by its name.
    nlohmann::json start();
    // A fresh copy of the fixture application in place of the running one.
    void restartApp();
    // A widget's rectangle relative to the target's focused window, where the pointer tools
    // measure from.
    platform::Frame where(const std::string& widget);

    std::unique_ptr<Program> app;

private:
    std::vector<std::string> mode_;
};

// The fixture in its input mode: a text field, a click pad, a scrolled list, a slider, a
// colour patch and a menu bar.
class InputFixtureTest : public DesktopTest {
protected:
    InputFixtureTest() : DesktopTest({"--input"}) {}
};

// The first tool of a state or diff whose name starts with `prefix`; empty when none does.
std::string toolStartingWith(const nlohmann::json& answer, const std::string& prefix);
// Whether the diff's "added" (entries) or "removed" (names) holds `tool`.
bool lists(const nlohmann::json& diff, const std::string& part, const std::string& tool);
// Whether an answer's list of texts (new_text) holds `text`.
bool holdsText(const nlohmann::json& texts, const std::string& text);
// The value of an element in a state response; "<none>" when it has none.
std::string valueIn(const nlohmann::json& state, const std::string& tool);
// What the X CLIPBOARD holds, read by xclip: another client than Velmor.
std::string clipboardByXclip();

}  // namespace velmor::test
