// Request forwarding, checked against a real bridge process and a recording HTTP endpoint.
#include "bridge/fake_mcp_endpoint.h"
#include "bridge/running_bridge.h"
#include "support/free_port.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace velmor::bridge::test {
namespace {

using velmor::test::freePort;
using velmor::test::TempHome;

constexpr const char* kEmptyResponse = R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"empty response"}})";

CannedAnswer echo(const RecordedRequest& request) { return {200, "answer to " + request.body}; }

TEST(BridgeRequests, PostsEachRequestToMcpWithTokenAndWritesTheAnswer) {
    TempHome home;
    FakeMcpEndpoint endpoint(echo);
    writeConfig(home, "secret-token", endpoint.port(), freePort());
    RunningBridge bridge;

    bridge.writeLine("");
    bridge.writeLine(" \t ");
    bridge.writeLine("  {\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"tools/list\"}\r");
    EXPECT_EQ(bridge.readLine(), R"(answer to {"jsonrpc":"2.0","id":1,"method":"tools/list"})");

    auto requests = endpoint.requests();
    ASSERT_EQ(requests.size(), 1u) << "blank lines must not be forwarded";
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/mcp");
    EXPECT_EQ(requests[0].contentType, "application/json");
    EXPECT_EQ(requests[0].authorization, "Bearer secret-token");
}

TEST(BridgeRequests, SendsTheNextRequestOnlyAfterTheAnswerWasWritten) {
    TempHome home;
    FakeMcpEndpoint endpoint([](const RecordedRequest& request) {
        CannedAnswer answer = echo(request);
        if (request.body == "first") answer.delay = std::chrono::milliseconds(400);
        return answer;
    });
    writeConfig(home, "t", endpoint.port(), freePort());
    RunningBridge bridge;

    bridge.writeLine("first");
    bridge.writeLine("second");
    EXPECT_EQ(bridge.readLine(), "answer to first");
    EXPECT_EQ(bridge.readLine(), "answer to second");
    EXPECT_EQ(endpoint.events(), (std::vector<std::string>{"request first", "answer answer to first", "request second",
                                                           "answer answer to second"}));
}

TEST(BridgeRequests, NotificationsAreSentWithoutWaitingAndExitAtEndOfInputLeavesThemBehind) {
    TempHome home;
    FakeMcpEndpoint endpoint([](const RecordedRequest& request) {
        CannedAnswer answer = echo(request);
        answer.withhold = request.body.find("notifications/") != std::string::npos;
        return answer;
    });
    writeConfig(home, "t", endpoint.port(), freePort());
    RunningBridge bridge;

    bridge.writeLine(R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
    bridge.writeLine(R"({"jsonrpc":"2.0","id":2,"method":"ping"})");
    EXPECT_EQ(bridge.readLine(), R"(answer to {"jsonrpc":"2.0","id":2,"method":"ping"})");
    ASSERT_TRUE(endpoint.waitForRequests(2));
    auto requests = endpoint.requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const RecordedRequest& request) {
        return request.body == R"({"jsonrpc":"2.0","method":"notifications/initialized"})";
    }));

    bridge.process().closeStdin();
    EXPECT_EQ(bridge.process().wait(10000), 0);
}

TEST(BridgeRequests, EmptyOrNonUtf8AnswersBecomeTheEmptyResponseError) {
    TempHome home;
    FakeMcpEndpoint endpoint([](const RecordedRequest& request) -> CannedAnswer {
        if (request.body == "[1,2]") return {204, ""};
        if (request.body == "not json") return {200, ""};
        return {200, "\xff\xfe{}"};
    });
    writeConfig(home, "t", endpoint.port(), freePort());
    RunningBridge bridge;

    for (const char* line : {"[1,2]", "not json", R"({"id":3,"method":"binary"})"}) {
        bridge.writeLine(line);
        EXPECT_EQ(bridge.readLine(), kEmptyResponse) << line;
    }
}

TEST(BridgeRequests, ErrorBodiesPassThroughWhateverTheStatus) {
    TempHome home;
    FakeMcpEndpoint endpoint([](const RecordedRequest& request) -> CannedAnswer {
        if (request.body == "a") return {401, R"({"error":"unauthorized"})"};
        return {404, R"({"error":"not found"})"};
    });
    writeConfig(home, "wrong", endpoint.port(), freePort());
    RunningBridge bridge;

    bridge.writeLine("a");
    EXPECT_EQ(bridge.readLine(), R"({"error":"unauthorized"})");
    bridge.writeLine("b");
    EXPECT_EQ(bridge.readLine(), R"({"error":"not found"})");
}

TEST(BridgeRequests, UnreachableApplicationGivesTheTransportErrorWithNullId) {
    TempHome home;
    writeConfig(home, "t", freePort(), freePort());
    RunningBridge bridge;

    bridge.writeLine(R"({"jsonrpc":"2.0","id":7,"method":"tools/list"})");
    std::string line = bridge.readLine();
    EXPECT_EQ(line, R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"Connection refused"}})");
    auto json = nlohmann::json::parse(line, nullptr, false);
    ASSERT_TRUE(json.is_object()) << line;
    EXPECT_TRUE(json["id"].is_null());
}

TEST(BridgeRequests, PortOutsideTheTcpRangeGivesBadUrl) {
    TempHome home;
    for (std::int64_t port : {70000, -1}) {
        writeConfig(home, "t", port, freePort());
        RunningBridge bridge;
        bridge.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})");
        EXPECT_EQ(bridge.readLine(), R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"bad URL"}})") << port;
    }
}

}  // namespace
}  // namespace velmor::bridge::test
