// Request forwarding, checked against a real bridge process and a recording HTTP endpoint.
#include "bridge/fake_mcp_endpoint.h"
#include "bridge/running_bridge.h"
#include "support/free_port.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace velmor::bridge::test {
namespace {

using nlohmann::json;
using velmor::test::freePort;
using velmor::test::TempHome;

json idOf(const std::string& body) {
    json parsed = json::parse(body, nullptr, false);
    return parsed.is_object() && parsed.contains("id") ? parsed["id"] : json(nullptr);
}

// A JSON-RPC response to the request, echoing its text.
std::string echoed(const std::string& body) {
    return json{{"jsonrpc", "2.0"}, {"id", idOf(body)}, {"result", {{"echo", body}}}}.dump();
}

CannedAnswer echo(const RecordedRequest& request) { return {200, echoed(request.body)}; }

TEST(BridgeRequests, PostsEachRequestToMcpWithTokenAndWritesTheAnswer) {
    TempHome home;
    FakeMcpEndpoint endpoint(echo);
    writeConfig(home, "secret-token", endpoint.port(), freePort());
    RunningBridge bridge;

    bridge.writeLine("");
    bridge.writeLine(" \t ");
    bridge.writeLine("  {\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"tools/list\"}\r");
    EXPECT_EQ(bridge.readLine(), echoed(R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})"));

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
    EXPECT_EQ(bridge.readLine(), echoed("first"));
    EXPECT_EQ(bridge.readLine(), echoed("second"));
    EXPECT_EQ(endpoint.events(), (std::vector<std::string>{"request first", "answer " + echoed("first"),
                                                           "request second", "answer " + echoed("second")}));
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
    EXPECT_EQ(bridge.readLine(), echoed(R"({"jsonrpc":"2.0","id":2,"method":"ping"})"));
    ASSERT_TRUE(endpoint.waitForRequests(2));
    auto requests = endpoint.requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const RecordedRequest& request) {
        return request.body == R"({"jsonrpc":"2.0","method":"notifications/initialized"})";
    }));

    bridge.process().closeStdin();
    EXPECT_EQ(bridge.process().wait(10000), 0);
}

long peakResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    return -1;
}

// Whatever the endpoint answers, the client sees one JSON-RPC message per request, on
// one line, carrying that request's id.
TEST(BridgeRequests, OnlyJsonRpcResponsesReachTheClientEachWithItsRequestsId) {
    TempHome home;
    const std::string huge(200 * 1000 * 1000, ' ');
    FakeMcpEndpoint endpoint([&](const RecordedRequest& request) -> CannedAnswer {
        json id = idOf(request.body);
        json parsed = json::parse(request.body, nullptr, false);
        std::string method = parsed.is_object() ? parsed.value("method", "") : "";
        if (method == "newline") return {200, "{\"jsonrpc\":\"2.0\",\n\"id\":" + id.dump() + ",\"result\":{\"text\":\"a\\nb\"}}"};
        if (method == "html") return {200, "<html><body>Proxy error\n</body></html>"};
        if (method == "unauthorized") return {401, R"({"error":"unauthorized"})"};
        if (method == "missing") return {404, R"({"error":"not found"})"};
        if (method == "broken") return {500, "<h1>Internal Server Error</h1>"};
        if (method == "huge") return {200, "{\"jsonrpc\":\"2.0\",\"id\":" + id.dump() + ",\"result\":\"" + huge + "\"}"};
        if (method == "binary") return {200, "\xff\xfe{}"};
        if (method == "deep")
            return {200, "{\"jsonrpc\":\"2.0\",\"id\":" + id.dump() + ",\"result\":" + std::string(200'000, '[') +
                             std::string(200'000, ']') + "}"};
        if (method == "other-id") return {200, R"({"jsonrpc":"2.0","id":999,"result":{}})"};
        if (method == "not-a-response") return {200, R"({"error":"x"})"};
        return {204, ""};  // the application's answer to what it takes for a notification
    });
    writeConfig(home, "t", endpoint.port(), freePort());
    RunningBridge bridge;

    struct Case {
        std::string line;
        json id;
        std::string message;  // empty: the answer itself is expected
    };
    std::vector<Case> cases = {
        {R"({"jsonrpc":"2.0","id":1,"method":"newline"})", 1, ""},
        {R"({"jsonrpc":"2.0","id":2,"method":"html"})", 2, "Velmor's answer is not JSON"},
        {R"({"jsonrpc":"2.0","id":3,"method":"unauthorized"})", 3, "Velmor answered HTTP 401: unauthorized"},
        {R"({"jsonrpc":"2.0","id":4,"method":"missing"})", 4, "Velmor answered HTTP 404: not found"},
        {R"({"jsonrpc":"2.0","id":"five","method":"broken"})", "five", "Velmor answered HTTP 500"},
        {R"({"jsonrpc":"2.0","id":6,"method":"huge"})", 6, "answer larger than 64 MiB refused"},
        {R"({"jsonrpc":"2.0","id":7,"method":"binary"})", 7, "Velmor's answer is not JSON"},
        {R"({"jsonrpc":"2.0","id":"deep","method":"deep"})", "deep", "Velmor's answer is nested too deeply"},
        {R"({"jsonrpc":"2.0","id":8,"method":"other-id"})", 8, "Velmor's answer is not a JSON-RPC response to this request"},
        {R"({"jsonrpc":"2.0","id":9,"method":"not-a-response"})", 9, "Velmor's answer is not a JSON-RPC response to this request"},
        {R"({"jsonrpc":"2.0","id":10,"method":"tools/list","params":{"pad":")" + std::string(20 << 20, 'x') + "\"}}", 10,
         "request line longer than 16 MiB refused"},
        {"[1,2]", nullptr, "empty response"},
        {"not json", nullptr, "empty response"},
    };
    for (const Case& c : cases) {
        bridge.writeLine(c.line);
        std::string line = bridge.readLine(30000);
        json message = json::parse(line, nullptr, false);
        ASSERT_TRUE(message.is_object()) << c.line.substr(0, 60) << " -> " << line.substr(0, 200);
        EXPECT_EQ(message["jsonrpc"], "2.0");
        EXPECT_EQ(message["id"], c.id) << line.substr(0, 200);
        if (c.message.empty()) {
            EXPECT_EQ(message["result"], (json{{"text", "a\nb"}}));
        } else {
            EXPECT_EQ(message, (json{{"jsonrpc", "2.0"}, {"id", c.id}, {"error", {{"code", -32603}, {"message", c.message}}}}))
                << line.substr(0, 200);
        }
    }
    EXPECT_EQ(endpoint.requests().size(), cases.size() - 1) << "the over-long line is not sent";
    EXPECT_LT(peakResidentKiB(bridge.process().pid()), 200 * 1024) << "the 200 MB answer was held";
}

TEST(BridgeRequests, UnreachableApplicationGivesTheTransportErrorWithTheRequestsId) {
    TempHome home;
    writeConfig(home, "t", freePort(), freePort());
    RunningBridge bridge;

    bridge.writeLine(R"({"jsonrpc":"2.0","id":7,"method":"tools/list"})");
    std::string line = bridge.readLine();
    EXPECT_EQ(line, R"({"jsonrpc":"2.0","id":7,"error":{"code":-32603,"message":"Connection refused"}})");
}

TEST(BridgeRequests, PortOutsideTheTcpRangeGivesBadUrl) {
    TempHome home;
    for (std::int64_t port : {70000, -1}) {
        writeConfig(home, "t", port, freePort());
        RunningBridge bridge;
        bridge.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})");
        EXPECT_EQ(bridge.readLine(), R"({"jsonrpc":"2.0","id":1,"error":{"code":-32603,"message":"bad URL"}})") << port;
    }
}

}  // namespace
}  // namespace velmor::bridge::test
