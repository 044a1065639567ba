// The official MCP SDK's stdio client, as MCP clients use it, talking through the bridge to
// the application's real MCP endpoint, JSON-RPC layer and catalogue.
#include "bridge/running_bridge.h"
#include "mcp/json_rpc.h"
#include "mcp/mcp_server.h"
#include "support/free_port.h"
#include "tools/tool_router.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace velmor::bridge::test {
namespace {

using nlohmann::json;
using velmor::test::ChildProcess;
using velmor::test::freePort;
using velmor::test::TempHome;

const std::string kFixtures = VELMOR_MCP_SDK_FIXTURES;

class ApplicationEndpoint {
public:
    ApplicationEndpoint() : server_(0, "sdk-token", [this](std::string_view body, const mcp::RequestChannel& channel) { return mcp::handleRequest(router_, body, channel); }) {
        router_.registry().handle("list_apps", [](const Arguments&) {
            return json{{"apps", {{{"name", "Calculator"}, {"pid", 7}}}}};
        });
        EXPECT_TRUE(server_.start());
    }
    std::uint16_t port() const { return server_.boundPort(); }

private:
    tools::ToolRouter router_;
    mcp::McpServer server_;
};

// Reads the one JSON line a node script printed.
json scriptOutput(ChildProcess& script) {
    std::string line;
    EXPECT_TRUE(script.readLine(line, 60000)) << script.drainStderr();
    EXPECT_EQ(script.wait(10000), 0) << script.drainStderr();
    return json::parse(line, nullptr, false);
}

TEST(SdkClient, ConnectsPingsListsAnnotatedToolsAndCallsThemThroughTheBridge) {
    TempHome home;
    ApplicationEndpoint application;
    writeConfig(home, "sdk-token", application.port(), freePort());
    ChildProcess script({"node", kFixtures + "/bridge_client.mjs", VELMOR_BRIDGE_BINARY}, {{"HOME", home.path()}});
    json seen = scriptOutput(script);

    ASSERT_FALSE(seen.contains("error")) << seen["error"];
    EXPECT_EQ(seen["server"]["name"], "velmor");
    EXPECT_EQ(seen["ping"], json::object());
    ASSERT_EQ(seen["tools"].size(), 43u);
    for (const json& tool : seen["tools"]) {
        EXPECT_TRUE(tool["title"].is_string()) << tool["name"];
        EXPECT_TRUE(tool["annotations"]["readOnlyHint"].is_boolean()) << tool["name"];
        for (const auto& [name, parameter] : tool["inputSchema"]["properties"].items())
            if (parameter["type"] == "array") EXPECT_TRUE(parameter.contains("items")) << tool["name"] << "." << name;
        if (tool["name"] == "screenshot") EXPECT_EQ(tool["annotations"]["readOnlyHint"], true);
        if (tool["name"] == "delete_flow") EXPECT_EQ(tool["annotations"]["destructiveHint"], true);
    }
    EXPECT_EQ(seen["call"]["content"][0]["text"], R"({"apps":[{"name":"Calculator","pid":7}]})");
    EXPECT_EQ(seen["wrongType"]["isError"], true);
    EXPECT_EQ(seen["wrongType"]["content"][0]["text"], "Error: 'x' must be an integer");
}

// What the MCP Inspector's command-line mode printed, with the bridge as its stdio server.
// Its output goes to a file: node leaves a long output to a pipe unfinished when the
// inspector exits.
json inspectorOutput(const TempHome& home, const std::vector<std::string>& arguments) {
    std::string command = kFixtures + "/node_modules/.bin/mcp-inspector --cli -e HOME=" + home.path() + " " +
                          VELMOR_BRIDGE_BINARY;
    for (const auto& argument : arguments) command += " " + argument;
    const std::string outputPath = home.path() + "/inspector-output.json";
    ChildProcess inspector({"/bin/sh", "-c", command + " > " + outputPath});
    EXPECT_EQ(inspector.wait(60000), 0) << inspector.drainStderr();
    return json::parse(velmor::test::readFile(outputPath), nullptr, false);
}

TEST(InspectorCli, ListsAndCallsAToolThroughTheBridge) {
    TempHome home;
    ApplicationEndpoint application;
    writeConfig(home, "sdk-token", application.port(), freePort());

    json listed = inspectorOutput(home, {"--method", "tools/list"});
    ASSERT_TRUE(listed.is_object());
    EXPECT_EQ(listed["tools"].size(), 43u);
    json called = inspectorOutput(home, {"--method", "tools/call", "--tool-name", "list_apps"});
    ASSERT_TRUE(called.is_object());
    EXPECT_EQ(called["content"][0]["text"], R"({"apps":[{"name":"Calculator","pid":7}]})");
}

}  // namespace
}  // namespace velmor::bridge::test
