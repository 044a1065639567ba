// What the bridge makes of its configuration file and its command line.
#include "bridge/running_bridge.h"
#include "support/free_port.h"

#include <gtest/gtest.h>

namespace velmor::bridge::test {
namespace {

using velmor::test::ChildProcess;
using velmor::test::freePort;
using velmor::test::TempHome;

// Starts the bridge, waits for its start line and lets it end at once.
std::string startLine() {
    RunningBridge bridge;
    bridge.waitForStderr(")\n");
    bridge.process().closeStdin();
    EXPECT_EQ(bridge.process().wait(10000), 0);
    std::string text = bridge.stderrSoFar();
    return text.substr(0, text.find('\n'));
}

TEST(BridgeStartup, ConfiguredPortsAppearInTheStartLine) {
    TempHome home;
    writeConfig(home, "t", 4321, 4322);
    EXPECT_EQ(startLine(), "[velmor-bridge] Starting stdio bridge (HTTP:4321, WS:4322)");
}

TEST(BridgeStartup, FieldsOfTheWrongTypeFallBackToTheirDefaults) {
    TempHome home;
    std::string wsPort = std::to_string(freePort());
    writeConfig(home, R"({"token":"t","port":"1234","wsPort":)" + wsPort + "}");
    EXPECT_EQ(startLine(), "[velmor-bridge] Starting stdio bridge (HTTP:19820, WS:" + wsPort + ")");
    writeConfig(home, R"({"port":4321,"wsPort":4322.5})");
    EXPECT_EQ(startLine(), "[velmor-bridge] Starting stdio bridge (HTTP:4321, WS:19822)");
}

TEST(BridgeStartup, MissingOrUnreadableConfigUsesAllDefaults) {
    TempHome home;
    EXPECT_EQ(startLine(), "[velmor-bridge] Starting stdio bridge (HTTP:19820, WS:19822)");
    writeConfig(home, R"([4321, 4322])");
    EXPECT_EQ(startLine(), "[velmor-bridge] Starting stdio bridge (HTTP:19820, WS:19822)");
    writeConfig(home, R"({"port":4321,)");
    EXPECT_EQ(startLine(), "[velmor-bridge] Starting stdio bridge (HTTP:19820, WS:19822)");
}

struct Outcome {
    int status;
    std::string out, err;
};

Outcome runWith(const std::string& argument) {
    ChildProcess process({VELMOR_BRIDGE_BINARY, argument});
    Outcome outcome;
    std::string line;
    while (process.readLine(line, 5000)) outcome.out += line + "\n";
    outcome.status = process.wait(10000);
    outcome.err = process.drainStderr();
    return outcome;
}

TEST(BridgeCommandLine, AnswersVersionAndHelpAndRejectsAnythingElse) {
    TempHome home;
    Outcome version = runWith("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "velmor-bridge 1.0.0\n");

    Outcome help = runWith("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("~/.velmor/config.json"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("\"type\": \"stdio\""), std::string::npos) << help.out;

    Outcome unknown = runWith("--port=1");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("Usage: velmor-bridge"), std::string::npos) << unknown.err;
}

}  // namespace
}  // namespace velmor::bridge::test
