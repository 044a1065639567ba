#pragma once

#include "automation/session_manager.h"
#include "flows/flow_store.h"
#include "platform/windows.h"
#include "support/child_process.h"
#include "support/temp_home.h"
#include "tools/tool_router.h"

#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::test {

// The fixture application in its input mode (tests/fixtures: a text field, a click pad, a
// scrolled list, a slider, a colour patch and a menu bar), killed by its PID at the end.
class InputFixtureApp {
public:
    InputFixtureApp();

    bool ready() const { return ready_; }
    int32_t pid() const { return static_cast<int32_t>(process_.pid()); }
    std::string name() const { return "velmor-fixture-" + std::to_string(pid()); }
    void send(const std::string& command) { process_.writeStdin(command + "\n"); }
    // The first line the application prints from now on that starts with `prefix`.
    std::optional<std::string> nextStartingWith(const std::string& prefix, int timeoutMs = 3000);
    // Waits for exactly `line`; the lines before it are passed over.
    bool printed(const std::string& line, int timeoutMs = 3000);
    // Whether the application prints a line starting with `prefix` within the time.
    bool printsNothingLike(const std::string& prefix, int timeoutMs);

private:
    ChildProcess process_;
    bool ready_ = false;
};

// A session on the input fixture with a router carrying the app-control, input and
// screenshot tools; recorded steps are collected in `recorded`.
class InputDesktopTest : public ::testing::Test {
protected:
    InputDesktopTest();
    void SetUp() override;

    nlohmann::json call(const std::string& tool, const nlohmann::json& args = nlohmann::json::object());
    nlohmann::json start();
    // A widget's rectangle relative to the target's focused window, where the pointer
    // tools measure from.
    platform::Frame where(const std::string& widget);

    TempHome home;
    flows::FlowStore flows;
    automation::SessionManager session;
    tools::ToolRouter router;
    std::vector<std::string> recorded;
    std::unique_ptr<InputFixtureApp> app;
};

}  // namespace velmor::test
