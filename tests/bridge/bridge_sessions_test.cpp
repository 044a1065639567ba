// The MCP session and event-stream answers of the current HTTP transport, against a
// scripted keep-alive endpoint (the McpServer of this tree issues no sessions yet).
#include "bridge/running_bridge.h"
#include "bridge/scripted_endpoint.h"
#include "support/eventually.h"
#include "support/free_port.h"

#include <gtest/gtest.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>

namespace velmor::bridge::test {
namespace {

using nlohmann::json;
using velmor::test::freePort;
using velmor::test::TempHome;

std::string chunk(const std::string& data) {
    char size[16];
    std::snprintf(size, sizeof size, "%zx", data.size());
    return std::string(size) + "\r\n" + data + "\r\n";
}

// An application that opens a session at each initialize and forgets all of them when
// told to (a restart); tools/call answers as an event stream: a progress notification,
// then the response split over two data lines and two chunks.
class SessionApplication {
public:
    std::vector<std::string> respond(const ScriptedEndpoint::Request& request) {
        json message = json::parse(request.body, nullptr, false);
        std::string method = message.value("method", "");
        json id = message.contains("id") ? message["id"] : json(nullptr);
        std::lock_guard lock(mutex_);
        if (method == "initialize") {
            std::string session = "s" + std::to_string(++sessions_);
            open_.insert(session);
            json result = {{"protocolVersion", "2025-06-18"}, {"serverInfo", {{"name", "scripted"}, {"version", "1"}}},
                           {"capabilities", json::object()}};
            return {ScriptedEndpoint::answer(200, json{{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}.dump(),
                                             "Mcp-Session-Id: " + session + "\r\n")};
        }
        auto session = request.headers.find("mcp-session-id");
        if (session == request.headers.end() || !open_.contains(session->second))
            return {ScriptedEndpoint::answer(404, R"({"jsonrpc":"2.0","id":null,"error":{"code":-32001,"message":"Session not found"}})")};
        if (!message.contains("id")) return {"HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\n\r\n"};
        if (method == "tools/call") {
            json progress = {{"jsonrpc", "2.0"}, {"method", "notifications/progress"},
                             {"params", {{"progressToken", "p"}, {"progress", 1}, {"total", 2}}}};
            std::string response = json{{"jsonrpc", "2.0"}, {"id", id}, {"result", {{"content", json::array()}}}}.dump();
            // Split where JSON allows a line break: the data lines are joined with one.
            std::size_t half = response.find(',') + 1;
            return {"HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nTransfer-Encoding: chunked\r\n\r\n",
                    chunk(": opening\n\nid: 1\ndata:\n\n"),
                    chunk("event: message\ndata: " + progress.dump() + "\n\n"),
                    chunk("data: " + response.substr(0, half) + "\r\ndata: " + response.substr(half, 4)),
                    chunk(response.substr(half + 4) + "\r\n\r\n"), chunk("")};
        }
        auto header = [&](const std::string& name) {
            auto found = request.headers.find(name);
            return found == request.headers.end() ? std::string("<none>") : found->second;
        };
        json echo = {{"session", session->second}, {"version", header("mcp-protocol-version")}, {"accept", header("accept")}};
        return {ScriptedEndpoint::answer(200, json{{"jsonrpc", "2.0"}, {"id", id}, {"result", echo}}.dump())};
    }

    void restart() {
        std::lock_guard lock(mutex_);
        open_.clear();
    }

private:
    std::mutex mutex_;
    int sessions_ = 0;
    std::set<std::string> open_;
};

TEST(BridgeSessions, KeepsTheSessionRelaysEventStreamsAndReopensTheSessionAfterARestart) {
    TempHome home;
    SessionApplication application;
    ScriptedEndpoint endpoint([&](const auto& request) { return application.respond(request); });
    writeConfig(home, "t", endpoint.port(), freePort());
    RunningBridge bridge;

    const std::string initialize =
        R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"t","version":"1"}}})";
    const std::string initialized = R"({"jsonrpc":"2.0","method":"notifications/initialized"})";
    bridge.writeLine(initialize);
    EXPECT_EQ(json::parse(bridge.readLine())["result"]["protocolVersion"], "2025-06-18");
    bridge.writeLine(initialized);
    // Sent at once and on connections of their own, the two might arrive either way round.
    ASSERT_TRUE(velmor::test::eventually([&] { return endpoint.requests().size() == 2; }));
    bridge.writeLine(R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})");
    const json expectedEcho = {{"session", "s1"}, {"version", "2025-06-18"}, {"accept", "application/json, text/event-stream"}};
    EXPECT_EQ(json::parse(bridge.readLine()), (json{{"jsonrpc", "2.0"}, {"id", 2}, {"result", expectedEcho}}));

    // The event stream: the progress notification first, then the answer, one line each.
    bridge.writeLine(R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"x","_meta":{"progressToken":"p"}}})");
    json progress = json::parse(bridge.readLine(), nullptr, false);
    EXPECT_EQ(progress.value("method", ""), "notifications/progress");
    EXPECT_EQ(json::parse(bridge.readLine(), nullptr, false),
              (json{{"jsonrpc", "2.0"}, {"id", 3}, {"result", {{"content", json::array()}}}}));

    // After a restart the old session is unknown: the bridge opens a new one with the
    // client's own initialize and the request is answered in it, with no other line.
    application.restart();
    bridge.writeLine(R"({"jsonrpc":"2.0","id":4,"method":"tools/list"})");
    json renewedEcho = expectedEcho;
    renewedEcho["session"] = "s2";
    EXPECT_EQ(json::parse(bridge.readLine(), nullptr, false), (json{{"jsonrpc", "2.0"}, {"id", 4}, {"result", renewedEcho}}));
    bridge.writeLine(R"({"jsonrpc":"2.0","id":5,"method":"ping"})");
    EXPECT_EQ(json::parse(bridge.readLine(), nullptr, false)["id"], 5) << "an extra line came before the answer to 5";

    auto requests = endpoint.requests();
    std::vector<std::string> bodies;
    std::set<int> connections;
    for (const auto& request : requests) {
        bodies.push_back(request.body);
        connections.insert(request.connection);
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{initialize, initialized, R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})",
                                                R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"x","_meta":{"progressToken":"p"}}})",
                                                R"({"jsonrpc":"2.0","id":4,"method":"tools/list"})", initialize, initialized,
                                                R"({"jsonrpc":"2.0","id":4,"method":"tools/list"})",
                                                R"({"jsonrpc":"2.0","id":5,"method":"ping"})"}));
    EXPECT_FALSE(requests[0].headers.contains("mcp-session-id"));
    EXPECT_FALSE(requests[5].headers.contains("mcp-session-id")) << "the replayed initialize carried the stale session";
    EXPECT_LT(connections.size(), requests.size() / 2) << "connections are not kept for the next request";
}

}  // namespace
}  // namespace velmor::bridge::test
