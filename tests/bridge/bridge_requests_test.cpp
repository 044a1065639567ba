// Request forwarding, checked against a real bridge process and the application's real
// MCP endpoint, answering as each test says.
#include "bridge/recording_endpoint.h"
#include "bridge/running_bridge.h"
#include "support/free_port.h"

#include <algorithm>
#include <fstream>
#include <set>
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
    return json{{"id", idOf(body)}, {"jsonrpc", "2.0"}, {"result", {{"echo", body}}}}.dump();
}

// Blank lines are skipped; each request is posted with the token (the endpoint refuses it
// otherwise) as soon as it is read: a list sent during a long call, and a cancellation of
// that call, reach the application while the call runs, and the list's answer comes out
// first.
TEST(BridgeRequests, RequestsAndNotificationsGoOutWhileALongCallRunsAndAnswersComeAsTheyAreReady) {
    TempHome home;
    const std::string call = R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"wait"}})";
    const std::string list = R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})";
    const std::string cancel = R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":1}})";
    RecordingEndpoint endpoint(
        [&](const std::string& body) {
            return CannedAnswer{echoed(body), std::chrono::milliseconds(body == call ? 4000 : 0)};
        },
        "secret-token");
    writeConfig(home, "secret-token", endpoint.port(), freePort());
    RunningBridge bridge;

    bridge.writeLine("");
    bridge.writeLine(" \t ");
    bridge.writeLine("  " + call + "\r");
    ASSERT_TRUE(endpoint.waitForRequests(1));
    bridge.writeLine(list);
    EXPECT_EQ(bridge.readLine(), echoed(list));
    bridge.writeLine(cancel);
    ASSERT_TRUE(endpoint.waitForRequests(3));
    EXPECT_EQ(bridge.readLine(), echoed(call));
    EXPECT_EQ(endpoint.events(), (std::vector<std::string>{"request " + call, "request " + list, "answer " + echoed(list),
                                                           "request " + cancel, "answer " + echoed(cancel),
                                                           "answer " + echoed(call)}));
}

// The endpoint of this tree serves one request per connection and closes it shortly after
// answering. Requests written back to back, each as soon as the last answer came, and
// bursts written at once, are all answered, each exactly once and with its own id.
TEST(BridgeRequests, AnApplicationThatClosesEachConnectionAnswersEveryRequest) {
    TempHome home;
    RecordingEndpoint endpoint([&](const std::string& body) { return CannedAnswer{echoed(body)}; });
    writeConfig(home, "t", endpoint.port(), freePort());
    RunningBridge bridge;

    auto request = [](int id) {
        return json{{"jsonrpc", "2.0"}, {"id", id}, {"method", id % 2 ? "tools/list" : "tools/call"}}.dump();
    };
    for (int id = 1; id <= 20; ++id) {
        bridge.writeLine(request(id));
        EXPECT_EQ(bridge.readLine(), echoed(request(id)));
    }
    std::set<int> answered;
    for (int id = 21; id <= 60; ++id) bridge.writeLine(request(id));
    for (int id = 21; id <= 60; ++id) {
        json answer = json::parse(bridge.readLine(), nullptr, false);
        ASSERT_TRUE(answer.is_object());
        EXPECT_EQ(answer, json::parse(echoed(request(answer["id"].get<int>()))));
        answered.insert(answer["id"].get<int>());
    }
    EXPECT_EQ(answered.size(), 40u);
    EXPECT_EQ(endpoint.events().size(), 2u * 60u) << "a request was sent twice or not at all";
}

TEST(BridgeRequests, NotificationsAreSentWithoutWaitingAndExitAtEndOfInputLeavesThemBehind) {
    TempHome home;
    const std::string notification = R"({"jsonrpc":"2.0","method":"notifications/initialized"})";
    RecordingEndpoint endpoint([&](const std::string& body) {
        return CannedAnswer{.body = echoed(body), .withhold = body == notification};
    });
    writeConfig(home, "t", endpoint.port(), freePort());
    RunningBridge bridge;

    bridge.writeLine(notification);
    bridge.writeLine(R"({"jsonrpc":"2.0","id":2,"method":"ping"})");
    EXPECT_EQ(bridge.readLine(), echoed(R"({"jsonrpc":"2.0","id":2,"method":"ping"})"));
    ASSERT_TRUE(endpoint.waitForRequests(2));
    auto events = endpoint.events();
    EXPECT_NE(std::find(events.begin(), events.end(), "request " + notification), events.end());

    bridge.process().closeStdin();
    EXPECT_EQ(bridge.process().wait(10000), 0);
}

long peakResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    return -1;
}

// Whatever comes back (the rules are answerLine's, proven in output_text_test), the
// client sees one JSON-RPC message per request, on one line, carrying that request's id;
// what is too large either way is refused without being held.
TEST(BridgeRequests, OnlyJsonRpcResponsesReachTheClientEachWithItsRequestsId) {
    TempHome home;
    const std::string huge(200 * 1000 * 1000, ' ');
    RecordingEndpoint endpoint([&](const std::string& body) -> CannedAnswer {
        json id = idOf(body);
        json parsed = json::parse(body, nullptr, false);
        std::string method = parsed.is_object() ? parsed.value("method", "") : "";
        if (method == "newline") return {"{\"jsonrpc\":\"2.0\",\n\"id\":" + id.dump() + ",\"result\":{\"text\":\"a\\nb\"}}"};
        if (method == "huge") return {"{\"jsonrpc\":\"2.0\",\"id\":" + id.dump() + ",\"result\":\"" + huge + "\"}"};
        if (method == "html") return {"<html><body>Proxy error\n</body></html>"};
        return {};  // the application's answer to what it takes for a notification
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
        {R"({"jsonrpc":"2.0","id":"two","method":"html"})", "two", "Velmor's answer is not JSON"},
        {R"({"jsonrpc":"2.0","id":6,"method":"huge"})", 6, "answer larger than 64 MiB refused"},
        {R"({"jsonrpc":"2.0","id":10,"method":"tools/list","params":{"pad":")" + std::string(20 << 20, 'x') + "\"}}", 10,
         "request line longer than 16 MiB refused"},
        {"[1,2]", nullptr, "empty response"},
        {"not json", nullptr, "empty response"},
    };
    for (const Case& c : cases) {
        bridge.writeLine(c.line);
        std::string line = bridge.readLine(90000);
        json message = json::parse(line, nullptr, false);
        ASSERT_TRUE(message.is_object()) << c.line.substr(0, 60) << " -> " << line.substr(0, 200);
        if (c.message.empty()) {
            EXPECT_EQ(message, (json{{"jsonrpc", "2.0"}, {"id", c.id}, {"result", {{"text", "a\nb"}}}}));
        } else {
            EXPECT_EQ(message, (json{{"jsonrpc", "2.0"}, {"id", c.id}, {"error", {{"code", -32603}, {"message", c.message}}}}))
                << line.substr(0, 200);
        }
    }
    EXPECT_TRUE(endpoint.waitForRequests(cases.size() - 1));
    EXPECT_FALSE(endpoint.waitForRequests(cases.size(), 0)) << "the over-long line is not sent";
    EXPECT_LT(peakResidentKiB(bridge.process().pid()), 200 * 1024) << "the 200 MB answer was held";
}

// With the WebSocket failing as well, a reconnect is pending; end of input still ends the bridge.
TEST(BridgeRequests, UnreachableApplicationGivesTheTransportErrorAndEndOfInputStillEndsTheBridge) {
    TempHome home;
    writeConfig(home, "t", freePort(), freePort());
    RunningBridge bridge;

    bridge.writeLine(R"({"jsonrpc":"2.0","id":7,"method":"tools/list"})");
    EXPECT_EQ(bridge.readLine(), R"({"jsonrpc":"2.0","id":7,"error":{"code":-32603,"message":"Connection refused"}})");
    ASSERT_TRUE(bridge.waitForStderr("WS failed: "));
    bridge.process().closeStdin();
    EXPECT_EQ(bridge.process().wait(10000), 0);
}

// A token that would break the request's header block (one written into the file by hand,
// or by someone else) is never sent: the request goes without it and is refused unread.
TEST(BridgeRequests, ATokenThatCouldBreakTheHeaderBlockIsNotSent) {
    TempHome home;
    RecordingEndpoint endpoint([](const std::string& body) { return CannedAnswer{echoed(body)}; }, "secret");
    writeConfig(home, "secret\r\nX-Injected: yes", endpoint.port(), freePort());
    RunningBridge bridge;
    bridge.writeLine(R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})");
    const json answer = json::parse(bridge.readLine(), nullptr, false);
    EXPECT_EQ(answer.value("id", 0), 1);
    EXPECT_TRUE(answer.contains("error")) << answer.dump();
    EXPECT_TRUE(endpoint.events().empty()) << "the endpoint read no request";
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
