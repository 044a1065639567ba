// What the bridge makes of its configuration file and its command line.
#include "bridge/running_bridge.h"
#include "support/free_port.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

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

// Ports come from the configuration file; a field of the wrong type, or a file that is
// missing or not a JSON object, leaves the default in its place.
TEST(BridgeStartup, TheStartLineShowsTheConfiguredPortsOrTheDefaults) {
    TempHome home;
    EXPECT_EQ(startLine(), "[velmor-bridge] Starting stdio bridge (HTTP:19820, WS:19822)");
    std::string wsPort = std::to_string(freePort());
    for (const auto& [config, ports] : std::vector<std::pair<std::string, std::string>>{
             {R"({"token":"t","port":4321,"wsPort":4322})", "HTTP:4321, WS:4322"},
             {R"({"token":"t","port":"1234","wsPort":)" + wsPort + "}", "HTTP:19820, WS:" + wsPort},
             {R"({"port":4321,"wsPort":4322.5})", "HTTP:4321, WS:19822"},
             {R"([4321, 4322])", "HTTP:19820, WS:19822"},
             {R"({"port":4321,)", "HTTP:19820, WS:19822"}}) {
        writeConfig(home, config);
        EXPECT_EQ(startLine(), "[velmor-bridge] Starting stdio bridge (" + ports + ")") << config;
    }
}

TEST(BridgeCommandLine, AnswersVersionAndHelpAndRejectsAnythingElse) {
    TempHome home;
    // Standard output and the exit status; standard error goes to `err`.
    auto run = [](const std::string& argument, std::string& err) {
        ChildProcess process({VELMOR_BRIDGE_BINARY, argument});
        std::string out;
        for (std::string line; process.readLine(line, 5000);) out += line + "\n";
        out += "exit " + std::to_string(process.wait(10000));
        err = process.drainStderr();
        return out;
    };
    std::string err;
    EXPECT_EQ(run("--version", err), "velmor-bridge 1.0.0\nexit 0");
    std::string help = run("--help", err);
    EXPECT_TRUE(help.ends_with("exit 0")) << help;
    EXPECT_NE(help.find("~/.velmor/config.json"), std::string::npos) << help;
    // The example is a whole client configuration, ready to paste: it parses on its own,
    // names this very program, and is the text the README shows (with the README's path).
    const auto example = help.find("{\n");
    ASSERT_NE(example, std::string::npos) << help;
    const std::string entry = help.substr(example, help.rfind("}\n") + 1 - example);
    auto parsed = nlohmann::json::parse(entry, nullptr, /*allow_exceptions=*/false);
    ASSERT_FALSE(parsed.is_discarded()) << entry;
    EXPECT_EQ(parsed, (nlohmann::json{{"mcpServers", {{"velmor", {{"type", "stdio"}, {"command", VELMOR_BRIDGE_BINARY}}}}}}));
    std::string readmeEntry = entry;
    readmeEntry.replace(readmeEntry.find(VELMOR_BRIDGE_BINARY), std::string_view(VELMOR_BRIDGE_BINARY).size(),
                        "/usr/local/bin/velmor-bridge");
    std::ifstream readme(VELMOR_README);
    const std::string readmeText((std::istreambuf_iterator<char>(readme)), std::istreambuf_iterator<char>());
    EXPECT_NE(readmeText.find(readmeEntry), std::string::npos) << "README lacks:\n" << readmeEntry;
    EXPECT_EQ(run("--port=1", err), "exit 2");
    EXPECT_NE(err.find("Usage: velmor-bridge"), std::string::npos) << err;
}

}  // namespace
}  // namespace velmor::bridge::test
