#pragma once

#include "automation/session_manager.h"
#include "flows/flow_store.h"
#include "support/child_process.h"
#include "support/temp_home.h"
#include "tools/tool_router.h"

#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace velmor::test {

// The GTK fixture application (tests/fixtures), running for one test and killed by its PID
// when the test ends.
class FixtureApp {
public:
    FixtureApp();

    // Started, mapped and announced on the accessibility bus.
    bool ready() const { return ready_; }
    int32_t pid() const { return static_cast<int32_t>(process_.pid()); }
    std::string name() const { return "velmor-fixture-" + std::to_string(pid()); }
    std::string bundleId() const { return "org.velmor.Fixture.p" + std::to_string(pid()); }
    // Waits for a line the application prints, such as "pressed OK".
    bool printed(const std::string& line, int timeoutMs = 5000);

private:
    ChildProcess process_;
    bool ready_ = false;
};

// A test on the virtual desktop: the fixture application, a session on the real desktop
// with a flow store in a temporary home, and a router with the app-control, element and
// flow tools. The desktop comes from scripts/desktop-stack-up.sh (DISPLAY and the session bus in
// the environment).
class DesktopTest : public ::testing::Test {
protected:
    DesktopTest();
    void SetUp() override;

    nlohmann::json call(const std::string& tool, const nlohmann::json& args = nlohmann::json::object());
    // session_start of the fixture by its name.
    nlohmann::json start();
    // A fresh copy of the fixture application in place of the running one.
    void restartApp();

    TempHome home;
    flows::FlowStore flows;
    automation::SessionManager session;
    tools::ToolRouter router;
    std::unique_ptr<FixtureApp> app;
};

// Whether a list of names, or of entries with a "tool", holds `name`.
bool holdsTool(const nlohmann::json& list, const std::string& name);
// The value of an element in a state response; "<none>" when it has none.
std::string valueIn(const nlohmann::json& state, const std::string& tool);
// Asks again every 50 ms until `done` holds or 5 s have passed; the last answer.
nlohmann::json eventually(const std::function<nlohmann::json()>& ask,
                          const std::function<bool(const nlohmann::json&)>& done);

}  // namespace velmor::test
