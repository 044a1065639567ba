// The WebSocket side of a real bridge process, against a Beast WebSocket listener.
#include "bridge/fake_page_agent.h"
#include "bridge/recording_endpoint.h"
#include "bridge/running_bridge.h"
#include "support/free_port.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace velmor::bridge::test {
namespace {

using velmor::test::freePort;
using velmor::test::TempHome;

constexpr const char* kListChanged = R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})";
// The subscription carries the bearer token of the configuration file ("t" here).
constexpr const char* kSubscribe = R"({"token":"t","type":"subscribe_tools_changed"})";

class BridgeWebSocket : public ::testing::Test {
protected:
    // Starts the bridge, with requests going to `httpPort`, and waits for it to connect to
    // `agent` and subscribe.
    void start(std::uint16_t httpPort) {
        writeConfig(home, "t", httpPort, agent.port());
        bridge.emplace();
        ASSERT_TRUE(agent.waitForConnections(1));
        ASSERT_EQ(agent.nextMessage(), kSubscribe);
    }

    TempHome home;
    FakePageAgent agent;
    std::optional<RunningBridge> bridge;
};

TEST_F(BridgeWebSocket, SubscribesAfterTheGreetingTurnsToolChangesIntoNotificationsAndKeepsAlive) {
    start(freePort());
    for (const char* ignored : {"not json", "[1]", R"({"type":"pong"})", R"({"type":7})", R"({"type":"session"})"})
        agent.send(ignored);
    agent.send(R"({"type":"tools_changed"})");
    EXPECT_EQ(bridge->readLine(), kListChanged);

    EXPECT_TRUE(bridge->waitForStderr("[velmor-bridge] Pushed tools/list_changed\n"));
    const std::string& log = bridge->stderrSoFar();
    EXPECT_NE(log.find("[velmor-bridge] WS connected to port " + std::to_string(agent.port()) + "\n"), std::string::npos);
    EXPECT_NE(log.find("[velmor-bridge] Subscribed to tool changes\n"), std::string::npos);

    agent.ping();
    EXPECT_TRUE(agent.waitForPongs(1));
    // The keep-alive period is 20 seconds; this only waits for it, with room to spare.
    EXPECT_EQ(agent.nextMessage(40000), R"({"type":"ping"})");
}

TEST_F(BridgeWebSocket, PushArrivesWhileARequestIsOutstandingAndLinesStayWhole) {
    RecordingEndpoint endpoint([](const std::string&) {
        return CannedAnswer{R"({"jsonrpc":"2.0","id":1,"result":{}})", std::chrono::milliseconds(1500)};
    });
    start(endpoint.port());

    bridge->writeLine(R"({"jsonrpc":"2.0","id":1,"method":"tools/call"})");
    ASSERT_TRUE(endpoint.waitForRequests(1));
    agent.send(R"({"type":"tools_changed"})");
    EXPECT_EQ(bridge->readLine(), kListChanged);
    EXPECT_EQ(bridge->readLine(), R"({"jsonrpc":"2.0","id":1,"result":{}})");
}

// A client that stops reading fills the standard-output pipe. The WebSocket keeps being
// served meanwhile, requests keep going out, and once the client reads again every line
// arrives whole.
TEST_F(BridgeWebSocket, AClientThatStopsReadingStallsNeitherTheWebSocketNorRequests) {
    // Far more than a pipe holds.
    const std::string text(4 << 20, 'x');
    RecordingEndpoint endpoint([&text](const std::string& body) {
        std::string id = body.find(R"("id":1)") != std::string::npos ? "1" : "2";
        return CannedAnswer{R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{"text":")" + text + R"("}})"};
    });
    start(endpoint.port());

    bridge->writeLine(R"({"jsonrpc":"2.0","id":1,"method":"tools/call"})");
    ASSERT_TRUE(endpoint.waitForRequests(1));
    for (int round = 0; round < 3; ++round) {
        agent.send(R"({"type":"tools_changed"})");
        agent.ping();
        // Its pong comes only once the bridge has taken in the message sent before the ping.
        ASSERT_TRUE(agent.waitForPongs(round + 1, 5000)) << "round " << round;
    }
    bridge->writeLine(R"({"jsonrpc":"2.0","id":2,"method":"tools/call"})");
    ASSERT_TRUE(endpoint.waitForRequests(2));

    std::vector<std::string> lines;
    for (int i = 0; i < 5; ++i) lines.push_back(bridge->readLine());
    std::string answer = R"({"jsonrpc":"2.0","id":1,"result":{"text":")" + text + R"("}})";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), answer), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kListChanged), 3);
    EXPECT_EQ(lines.back().substr(0, 23), R"({"jsonrpc":"2.0","id":2)") << lines.back().substr(0, 200);
}

TEST_F(BridgeWebSocket, KeepsRetryingUntilTheListenerAppearsAndSubscribesAgainAfterEachReconnect) {
    std::uint16_t port = freePort();
    writeConfig(home, "t", freePort(), port);
    bridge.emplace();
    EXPECT_TRUE(bridge->waitForStderr("[velmor-bridge] WS failed: Connection refused\n"));

    FakePageAgent listener(port);
    ASSERT_TRUE(listener.waitForConnections(1, 20000));
    ASSERT_EQ(listener.nextMessage(), kSubscribe);
    listener.closeConnection();
    EXPECT_TRUE(bridge->waitForStderr("[velmor-bridge] WS cancelled\n"));
    ASSERT_TRUE(listener.waitForConnections(2, 20000));
    EXPECT_EQ(listener.nextMessage(), kSubscribe);
    listener.send(R"({"type":"tools_changed"})");
    EXPECT_EQ(bridge->readLine(), kListChanged);
}

}  // namespace
}  // namespace velmor::bridge::test
