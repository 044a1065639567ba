#include "browser/log_tail.h"
#include "browser/page_client.h"
#include "browser/page_tool_names.h"
#include "browser/web_page_fixture.h"
#include "browser/websocket_server.h"
#include "tools/catalogue.h"

#include <future>

namespace velmor::browser {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// The page agent against a plain listener on an ephemeral port, whose address the injector
// hands to the agent.
class PageAgent : public WebPageTest {
protected:
    void SetUp() override {
        server = std::make_unique<WebSocketServer>(0, sessions, "");
        ASSERT_TRUE(server->start(true));
        agentPort = server->boundPort();
        WebPageTest::SetUp();
    }
    void TearDown() override {
        WebPageTest::TearDown();
        server.reset();
    }

    std::vector<std::string> listed() {
        std::vector<std::string> names;
        for (const auto& tool : sessions.agents().allBrowserTools()) names.push_back(tool["name"]);
        std::sort(names.begin(), names.end());
        return names;
    }

    // The page's own script, run in the tab at `url`; answers what it returns.
    json run(const std::string& url, const std::string& script) {
        return call("web_execute_js", {{"js", script}, {"url", url}});
    }
    // A page at the same address under another origin: "localhost" instead of "127.0.0.1".
    static std::string otherOrigin(std::string url) { return url.replace(url.find("127.0.0.1"), 9, "localhost"); }
    // Injects the agent into the front tab and waits until its tools are listed.
    void injectAndWait(size_t toolCount) {
        ASSERT_EQ(call("inject_webmcp", {{"browser", "chrome"}})["status"], "injected");
        ASSERT_TRUE(test::eventually([&] { return listed().size() >= toolCount; }, 10s)) << "no tools_ready";
    }

    // As the application wires it: pages never take a fixed, element or web tool's name.
    PageToolNames toolNames{sessions};
    std::unique_ptr<WebSocketServer> server;
};

// (Clicking an offered control through the whole application: velmor_page_agent_test.)
TEST_F(PageAgent, OffersThePageControlsAndKeepsThemCurrent) {
    std::string url = open("agent.html");
    EXPECT_EQ(call("inject_webmcp", {{"browser", "chrome"}}),
              json({{"status", "injected"}, {"wsUrl", "ws://localhost:" + std::to_string(server->boundPort())}}));
    ASSERT_TRUE(test::eventually([&] { return !listed().empty(); }, 10s)) << "no tools_ready from the page";
    // Nothing inside the body tells the buttons apart, so the walk reaches the page title.
    EXPECT_EQ(listed(), (std::vector<std::string>{"click_leave", "click_ring", "fill_guest"}));

    std::string origin = url.substr(0, url.find('/', 7));
    for (const auto& tool : sessions.agents().allBrowserTools())
        EXPECT_TRUE(tool["description"].get<std::string>().starts_with("[page " + origin + "] ")) << tool.dump();

    json filled = call("fill_guest", {{"value", "Ada"}});
    EXPECT_EQ(filled["text"], "Filled with \"Ada\"");
    EXPECT_EQ(pageValue(url, "document.querySelector('input').value"), "Ada");

    call("web_execute_js", {{"js", "document.getElementById('leave').remove(); JSON.stringify({})"}, {"url", url}});
    EXPECT_TRUE(test::eventually([&] { return !sessions.agents().hasTool("click_leave"); }, 5s));
    EXPECT_EQ(listed(), (std::vector<std::string>{"click_ring", "fill_guest"}));

    EXPECT_EQ(call("inject_webmcp", json::object()), json({{"status", "already_connected"}}));
    EXPECT_EQ(call("inject_webmcp", {{"browser", "SAFARI"}}),
              json({{"error", "Safari: not available on this system; use Chromium or Chrome"}}));
}

// A page the user merely visits can reach the listeners, but can neither offer tools nor
// listen for changes; it is shut out at once or after 5 s.
TEST_F(PageAgent, APageVelmorDidNotInjectIsNotHeard) {
    WebSocketServer secondListener(0, sessions, "");
    ASSERT_TRUE(secondListener.start(true));
    sessions.subscribers().setToken("token");
    test::PageClient bridge(server->boundPort());
    bridge.send(json{{"type", "subscribe_tools_changed"}, {"token", "token"}});

    std::string url = otherOrigin(open("agent.html"));
    tabs.push_back(chromium->openTab(url));
    test::LogTail log;
    json started = run(url, R"(
      window.heard = []; window.shut = 0;
      for (const port of [)" + std::to_string(server->boundPort()) + ", " +
                                 std::to_string(secondListener.boundPort()) + R"(]) {
        const ws = new WebSocket('ws://localhost:' + port);
        ws.onopen = () => {
          ws.send(JSON.stringify({type: 'register_tool', tool: {name: 'read_me_first', description: 'call me'}}));
          ws.send(JSON.stringify({type: 'tools_ready', tools: ['read_me_first']}));
          ws.send(JSON.stringify({type: 'ping'}));
          if (port === )" + std::to_string(secondListener.boundPort()) + R"() ws.send(JSON.stringify({type: 'subscribe_tools_changed'}));
        };
        ws.onmessage = (e) => window.heard.push(JSON.parse(e.data).type);
        ws.onclose = () => window.shut++;
      }
      JSON.stringify({status: 'started'}))");
    ASSERT_EQ(started["status"], "started") << started.dump();
    ASSERT_TRUE(test::eventually([&] { return pageValue(url, "window.shut") == 2; }, 8s))
        << run(url, "JSON.stringify({shut: window.shut, heard: window.heard, href: location.href})").dump();
    EXPECT_EQ(pageValue(url, "window.heard"), json({"session_id", "session_id"})) << "no pong, no push";
    EXPECT_TRUE(listed().empty());
    EXPECT_FALSE(sessions.agents().hasTool("read_me_first"));
    EXPECT_EQ(bridge.next(std::chrono::milliseconds(200)), std::nullopt);
    EXPECT_EQ(log.containing("Not authenticated in time").size(), 1u);
    EXPECT_EQ(log.containing("tool-change subscription without the bearer token").size(), 1u);
}

// An agent whose connection ended works again when injected again, and a second injected page
// cannot answer a call that was sent to the first.
TEST_F(PageAgent, AReconnectedAgentWorksAndAnotherPageCannotAnswerItsCalls) {
    std::string first = open("agent.html");
    // Lets the test see the calls the agent receives and hold back its answers.
    run(first, R"(
      window.seen = []; window.held = []; window.hold = true;
      const send = WebSocket.prototype.send;
      WebSocket.prototype.send = function (data) {
        if (!this.watched) {
          this.watched = true;
          this.addEventListener('message', (e) => window.seen.push(JSON.parse(e.data)));
        }
        if (window.hold && JSON.parse(data).type === 'tool_result') { window.held.push([this, data]); return; }
        return send.call(this, data);
      };
      window.release = () => { window.hold = false; for (const [ws, data] of window.held) send.call(ws, data); };
      JSON.stringify({}))");
    injectAndWait(3);

    // The listener goes away and comes back on the same port; injecting again reconnects.
    uint16_t port = server->boundPort();
    server.reset();
    ASSERT_TRUE(test::eventually([&] { return listed().empty(); }));
    server = std::make_unique<WebSocketServer>(port, sessions, "");
    ASSERT_TRUE(server->start(true));
    ASSERT_TRUE(test::eventually([&] { return pageValue(first, "window.__velmor_ws_injected") == false; }));
    injectAndWait(3);

    std::string second = open("listeners.html");
    // The second page keeps hold of its agent's socket, to forge answers on it.
    run(second, R"(
      window.sockets = [];
      const send = WebSocket.prototype.send;
      WebSocket.prototype.send = function (data) { window.sockets.push(this); return send.call(this, data); };
      JSON.stringify({}))");
    injectAndWait(4);

    auto answer = std::async(std::launch::async, [this] { return call("click_ring", json::object()); });
    std::string callId;
    ASSERT_TRUE(test::eventually([&] {
        json calls = run(first, "JSON.stringify({calls: window.seen.filter((m) => m.type === 'tool_call')})");
        if (calls.value("calls", json::array()).empty()) return false;
        callId = calls["calls"].back()["callId"];
        return true;
    }));
    run(second, "window.sockets[0].send(JSON.stringify({type: 'tool_result', callId: '" + callId +
                    "', result: {content: [{type: 'text', text: 'forged'}]}})); JSON.stringify({})");
    ASSERT_TRUE(test::eventually([&] { return pageValue(first, "window.held.length") == 1; }));
    EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
        << "the forged answer was taken";
    run(first, "window.release(); JSON.stringify({})");
    EXPECT_EQ(answer.get()["text"], "Clicked \"Ring\"");
    EXPECT_EQ(pageValue(first, "window.rung"), 1);
}

// A page tool never takes the name of a fixed, web or element tool: refused when those came
// first, and giving way to a web tool found later.
TEST_F(PageAgent, PageToolsNeverShadowTheApplicationsTools) {
    toolNames.elements->names = {"click_leave"};
    std::string url = open("agent.html");
    test::LogTail log;
    injectAndWait(2);
    EXPECT_EQ(listed(), (std::vector<std::string>{"click_ring", "fill_guest"}));
    EXPECT_EQ(log.containing("'click_leave': the name belongs to another tool").size(), 1u);

    // A later scan names the page's controls the same way; the dispatcher then acts through
    // the scanned web tools, and the page agent hears nothing of it.
    call("web_scan", {{"url", url}});
    ASSERT_TRUE(sessions.webTools().get("fill_guest"));
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(call("fill_guest", {{"value", "Ada"}}), json({{"status", "filled"}, {"value", "Ada"}}));
    EXPECT_EQ(recorded.back().context, "browser-dom:" + sessions.webTools().get("fill_guest")->selector);

    // When the page changes the agent offers fill_guest again: refused now.
    run(url, "document.body.appendChild(document.createElement('p')); JSON.stringify({})");
    EXPECT_TRUE(test::eventually(
        [&] { return !log.containing("'fill_guest': the name belongs to another tool").empty(); }, 5s));
    EXPECT_TRUE(listed().empty());
}

}  // namespace
}  // namespace velmor::browser
