// The WebSocket side of a real bridge process, against a Beast WebSocket listener.
#include "bridge/fake_mcp_endpoint.h"
#include "bridge/fake_page_agent.h"
#include "bridge/running_bridge.h"
#include "support/free_port.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

namespace velmor::bridge::test {
namespace {

using velmor::test::freePort;
using velmor::test::TempHome;

constexpr const char* kListChanged = R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})";
// The subscription carries the bearer token of the configuration file ("t" here).
constexpr const char* kSubscribe = R"({"token":"t","type":"subscribe_tools_changed"})";

TEST(BridgeWebSocket, SubscribesAfterTheGreetingAndTurnsToolChangesIntoNotifications) {
    TempHome home;
    FakePageAgent agent;
    writeConfig(home, "t", freePort(), agent.port());
    RunningBridge bridge;

    ASSERT_TRUE(agent.waitForConnections(1));
    EXPECT_EQ(agent.nextMessage(), kSubscribe);
    for (const char* ignored : {"not json", "[1]", R"({"type":"pong"})", R"({"type":7})", R"({"type":"session"})"})
        agent.send(ignored);
    agent.send(R"({"type":"tools_changed"})");
    EXPECT_EQ(bridge.readLine(), kListChanged);

    EXPECT_TRUE(bridge.waitForStderr("[velmor-bridge] Pushed tools/list_changed\n"));
    const std::string& log = bridge.stderrSoFar();
    EXPECT_NE(log.find("[velmor-bridge] WS connected to port " + std::to_string(agent.port()) + "\n"), std::string::npos);
    EXPECT_NE(log.find("[velmor-bridge] Subscribed to tool changes\n"), std::string::npos);

    agent.ping();
    EXPECT_TRUE(agent.waitForPong());
}

TEST(BridgeWebSocket, PushArrivesWhileARequestIsOutstandingAndLinesStayWhole) {
    TempHome home;
    FakePageAgent agent;
    FakeMcpEndpoint endpoint([](const RecordedRequest&) {
        CannedAnswer answer{200, R"({"jsonrpc":"2.0","id":1,"result":{}})"};
        answer.delay = std::chrono::milliseconds(1500);
        return answer;
    });
    writeConfig(home, "t", endpoint.port(), agent.port());
    RunningBridge bridge;
    ASSERT_TRUE(agent.waitForConnections(1));
    ASSERT_EQ(agent.nextMessage(), kSubscribe);

    bridge.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"tools/call"})");
    ASSERT_TRUE(endpoint.waitForRequests(1));
    agent.send(R"({"type":"tools_changed"})");
    EXPECT_EQ(bridge.readLine(), kListChanged);
    EXPECT_EQ(bridge.readLine(), R"({"id":1,"jsonrpc":"2.0","result":{}})");
}

// A client that stops reading fills the standard-output pipe. The WebSocket keeps being
// served meanwhile, requests keep going out, and once the client reads again every line
// arrives whole.
TEST(BridgeWebSocket, AClientThatStopsReadingStallsNeitherTheWebSocketNorRequests) {
    TempHome home;
    FakePageAgent agent;
    // Far more than a pipe holds.
    const std::string text(4 << 20, 'x');
    FakeMcpEndpoint endpoint([&text](const RecordedRequest& request) {
        std::string id = request.body.find(R"("id":1)") != std::string::npos ? "1" : "2";
        return CannedAnswer{200, R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{"text":")" + text + R"("}})"};
    });
    writeConfig(home, "t", endpoint.port(), agent.port());
    RunningBridge bridge;
    ASSERT_TRUE(agent.waitForConnections(1));
    ASSERT_EQ(agent.nextMessage(), kSubscribe);

    bridge.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"tools/call"})");
    ASSERT_TRUE(endpoint.waitForRequests(1));
    for (int round = 0; round < 3; ++round) {
        agent.send(R"({"type":"tools_changed"})");
        agent.ping();
        ASSERT_TRUE(agent.waitForPong(5000)) << "round " << round;
    }
    bridge.writeLine(R"({"jsonrpc":"2.0","id":2,"method":"tools/call"})");
    ASSERT_TRUE(endpoint.waitForRequests(2));

    std::vector<std::string> lines;
    for (int i = 0; i < 5; ++i) lines.push_back(bridge.readLine());
    std::string answer = R"({"id":1,"jsonrpc":"2.0","result":{"text":")" + text + R"("}})";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), answer), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kListChanged), 3);
    EXPECT_EQ(lines.back().substr(0, 16), R"({"id":2,"jsonrpc)");
}

TEST(BridgeWebSocket, ReconnectsAndSubscribesAgainAfterTheApplicationClosesTheConnection) {
    TempHome home;
    FakePageAgent agent;
    writeConfig(home, "t", freePort(), agent.port());
    RunningBridge bridge;
    ASSERT_TRUE(agent.waitForConnections(1));
    ASSERT_EQ(agent.nextMessage(), kSubscribe);

    agent.closeConnection();
    EXPECT_TRUE(bridge.waitForStderr("[velmor-bridge] WS cancelled\n"));
    ASSERT_TRUE(agent.waitForConnections(2, 20000));
    EXPECT_EQ(agent.nextMessage(), kSubscribe);
    agent.send(R"({"type":"tools_changed"})");
    EXPECT_EQ(bridge.readLine(), kListChanged);
}

TEST(BridgeWebSocket, KeepsRetryingUntilTheListenerAppears) {
    TempHome home;
    std::uint16_t port = freePort();
    writeConfig(home, "t", freePort(), port);
    RunningBridge bridge;
    EXPECT_TRUE(bridge.waitForStderr("[velmor-bridge] WS failed: Connection refused\n"));

    FakePageAgent agent(port);
    ASSERT_TRUE(agent.waitForConnections(1, 20000));
    EXPECT_EQ(agent.nextMessage(), kSubscribe);
}

TEST(BridgeWebSocket, EndOfInputEndsTheProcessWhileAReconnectIsPending) {
    TempHome home;
    writeConfig(home, "t", freePort(), freePort());
    RunningBridge bridge;
    ASSERT_TRUE(bridge.waitForStderr("WS failed: "));

    bridge.process().closeStdin();
    EXPECT_EQ(bridge.process().wait(10000), 0);
}

TEST(BridgeWebSocket, SendsAKeepAlivePingWhileConnected) {
    TempHome home;
    FakePageAgent agent;
    writeConfig(home, "t", freePort(), agent.port());
    RunningBridge bridge;
    ASSERT_TRUE(agent.waitForConnections(1));
    ASSERT_EQ(agent.nextMessage(), kSubscribe);
    // The keep-alive period is 20 seconds; this only waits for it, with room to spare.
    EXPECT_EQ(agent.nextMessage(40000), R"({"type":"ping"})");
}

}  // namespace
}  // namespace velmor::bridge::test
