#include "browser/listener_fixture.h"
#include "browser/log_tail.h"
#include "support/free_port.h"

#include <algorithm>
#include <regex>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

namespace velmor::browser {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

using BrowserPageProtocol = ListenerTest;

TEST_F(BrowserPageProtocol, EachConnectionHasASessionOfItsOwnForAsLongAsItLasts) {
    test::LogTail log;
    auto first = readyPage({"grab"});
    auto second = page();
    std::string id = first->sessionId();
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}")));
    EXPECT_NE(id, second->sessionId());
    EXPECT_TRUE(sessions->agents().session(id));
    EXPECT_TRUE(first->pingAnswered()) << "pings are answered at the protocol level, too";
    EXPECT_TRUE(log.has("[browser] Session created: " + id));
    EXPECT_TRUE(log.has("[ws] Browser connected: " + id));

    first.reset();
    EXPECT_TRUE(test::eventually([&] { return !sessions->agents().session(id); }));
    EXPECT_FALSE(sessions->agents().hasTool("grab"));
    EXPECT_TRUE(listedNames().empty());
    EXPECT_TRUE(log.has("[ws] Browser disconnected: " + id));
    EXPECT_TRUE(log.has("[browser] Session removed: " + id));
    EXPECT_TRUE(sessions->agents().session(second->sessionId()));
}

TEST_F(BrowserPageProtocol, OtherFramesAreDroppedLoggedOrStoredAndTheConnectionStays) {
    auto client = page();
    std::string marker = "m" + std::to_string(::getpid()) + client->sessionId().substr(0, 8);
    test::LogTail log;
    // Frames that are not typed objects go without a word.
    for (std::string frame : {"not json", "[1,2]", R"({"kind":"ping"})", R"({"type":7})", ""}) client->send(frame);
    handled(*client);
    EXPECT_EQ(client->next(50ms), std::nullopt);
    for (const auto& line : log.lines()) {
        EXPECT_EQ(line.find("session_auth"), std::string::npos) << line;
        EXPECT_NE(line, "[ws] Unknown message type: ");
    }

    client->send(json{{"type", "dance_" + marker}});
    client->send(json{{"type", "browser_event"}, {"event", "scrolled " + marker}});
    client->send(json{{"type", "browser_event"}, {"event", 3}});
    client->send(json{{"type", "page_info"}, {"url", "https://example.test/a"}, {"title", client->sessionId()}});
    handled(*client);
    EXPECT_TRUE(log.has("[ws] Unknown message type: dance_" + marker));
    EXPECT_TRUE(log.has("[ws] Browser event: scrolled " + marker));
    EXPECT_TRUE(log.has("[ws] Browser event: "));
    auto state = sessions->agents().sessionState(client->sessionId());
    EXPECT_EQ(state->pageUrl, "https://example.test/a");
    EXPECT_EQ(state->pageTitle, client->sessionId());
    EXPECT_TRUE(log.has("[ws] Page: " + client->sessionId() + " (https://example.test/a)"));

    // Page info of the wrong types is stored empty.
    client->send(json{{"type", "page_info"}, {"url", 5}});
    handled(*client);
    state = sessions->agents().sessionState(client->sessionId());
    EXPECT_EQ(state->pageUrl, "");
    EXPECT_EQ(state->pageTitle, "");
}

TEST_F(BrowserPageProtocol, ToolRegistrationKeepsWellFormedToolsAndDefaultsTheSchema) {
    auto client = page();
    json schema = {{"type", "object"}, {"properties", {{"q", {{"type", "string"}}}}}, {"required", {"q"}}};
    client->send(json{{"type", "register_tool"},
                      {"tool", {{"name", "search"}, {"description", "Search"}, {"inputSchema", schema}}}});
    client->send(json{{"type", "register_tool"}, {"tool", {{"name", "plain"}, {"description", "Plain"}}}});
    client->send(json{{"type", "register_tool"},
                      {"tool", {{"name", "odd"}, {"description", "Odd"}, {"inputSchema", "none"}}}});
    client->send(json{{"type", "register_tool"}, {"tool", {{"name", "nameless"}}}});
    client->send(json{{"type", "register_tool"}, {"tool", "search"}});
    client->send(json{{"type", "register_tool"}, {"tool", {{"name", "gone"}, {"description", "Gone"}}}});
    client->send(json{{"type", "unregister_tool"}, {"name", "gone"}});
    client->send(json{{"type", "unregister_tool"}, {"name", 1}});
    handled(*client);
    EXPECT_TRUE(sessions->agents().hasTool("search"));
    EXPECT_TRUE(listedNames().empty()) << "nothing is listed before tools_ready";

    test::LogTail log;
    client->send(json{{"type", "tools_ready"}, {"timestamp", 1}, {"url", "u"}, {"title", "t"}});
    handled(*client);
    EXPECT_TRUE(log.has("[ws] Tools ready (" + client->sessionId() + "): 0 tools"));

    json expected = json::array();
    json empty = {{"type", "object"}, {"properties", json::object()}};
    for (auto [name, description, inputSchema] :
         {std::tuple{"odd", "[page https://page.test] Odd", empty}, {"plain", "[page https://page.test] Plain", empty},
          {"search", "[page https://page.test] Search", schema}})
        expected.push_back(
            {{"name", name}, {"description", description}, {"inputSchema", inputSchema}, {"defer_loading", true}});
    json listed = sessions->agents().allBrowserTools();
    std::sort(listed.begin(), listed.end(), [](const json& a, const json& b) { return a["name"] < b["name"]; });
    EXPECT_EQ(listed, expected);
}

// A client frame with a zero mask key carries its payload unchanged.
std::string maskedTextFrame(const std::string& payload) {
    return std::string{'\x81', static_cast<char>(0x80 | payload.size())} + std::string(4, '\0') + payload;
}

// A frame a client must never send (unmasked) is a receive error, not a disconnect.
TEST_F(BrowserPageProtocol, AReceiveErrorRemovesTheSessionAndItsTools) {
    int fd = test::connectLoopback(server->boundPort());
    test::sendAll(fd, "GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                      "Origin: https://page.test\r\n"
                      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    std::string received;
    ASSERT_TRUE(test::eventually([&] {
        char buffer[512];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) received.append(buffer, static_cast<size_t>(n));
        return received.ends_with("\"}");
    }));
    std::string id = received.substr(received.find("\"sessionId\":\"") + 13, 36);
    std::string nonce = sessions->agents().issuePageNonce(kOrigin);
    test::sendAll(fd, maskedTextFrame(R"({"type":"session_auth","nonce":")" + nonce + R"("})") +
                          maskedTextFrame(R"({"type":"register_tool","tool":{"name":"grab","description":"d"}})") +
                          maskedTextFrame(R"({"type":"tools_ready"})"));
    ASSERT_TRUE(test::eventually([&] { return listedNames() == std::vector<std::string>{"grab"}; }));

    test::LogTail log;
    test::sendAll(fd, std::string("\x81\x02{}", 4));
    // The server answers the violation with a close frame and waits for the client to go.
    ::shutdown(fd, SHUT_WR);
    EXPECT_TRUE(test::eventually([&] { return !sessions->agents().session(id); }));
    EXPECT_TRUE(listedNames().empty());
    EXPECT_EQ(log.containing("[ERROR][ws] Receive error (" + id + "): ").size(), 1u);
    ::close(fd);
}

TEST_F(BrowserPageProtocol, APortInUseIsReportedAndLeavesNoListener) {
    test::LogTail log;
    WebSocketServer second(server->boundPort(), *sessions, "");
    EXPECT_FALSE(second.start(true));
    EXPECT_EQ(log.containing("[ERROR][ws] Failed to create WebSocket listener: ").size(), 1u);
}

}  // namespace
}  // namespace velmor::browser
