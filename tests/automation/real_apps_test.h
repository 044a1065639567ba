#pragma once

#include "automation/session_manager.h"
#include "flows/flow_store.h"
#include "support/child_process.h"
#include "support/temp_home.h"
#include "tools/tool_router.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::test {

// A program started for one test, with its standard output read line by line; killed by its
// PID when the test ends.
class Program {
public:
    Program(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {})
        : process_(argv, env) {}

    int32_t pid() const { return static_cast<int32_t>(process_.pid()); }
    // Whether its process still runs.
    bool running();
    // Waits for a line that starts with `prefix`; the lines before it are passed over.
    bool printed(const std::string& prefix, int timeoutMs = 5000);
    bool printsNothingLike(const std::string& prefix, int timeoutMs) { return !printed(prefix, timeoutMs); }
    void kill();

private:
    ChildProcess process_;
};

// Sessions on real applications (and the fixture where a toolkit's behaviour must be pinned
// down) through the tools an agent calls: app control, element, input and menu tools.
class RealAppTest : public ::testing::Test {
protected:
    RealAppTest();
    void SetUp() override;

    nlohmann::json call(const std::string& tool, const nlohmann::json& args = nlohmann::json::object());
    // Starts a program and waits until it is listed on the desktop; null (and the test
    // failed) when it is not within `timeoutMs`.
    std::unique_ptr<Program> launch(const std::vector<std::string>& argv,
                                    const std::map<std::string, std::string>& env = {}, int timeoutMs = 20000);
    // The fixture application in one of its modes, once it is ready.
    std::unique_ptr<Program> launchFixture(const std::vector<std::string>& options);
    // Asks get_page_info until `tool` is among its tools or 5 s have passed; the last answer.
    nlohmann::json stateWith(const std::string& tool);

    TempHome home;
    flows::FlowStore flows;
    automation::SessionManager session;
    tools::ToolRouter router;
};

// The first tool of a state or diff whose name starts with `prefix`; empty when none does.
std::string toolStartingWith(const nlohmann::json& answer, const std::string& prefix);
// What the X CLIPBOARD holds, read by xclip: another client than Velmor.
std::string clipboardByXclip();

}  // namespace velmor::test
