#include "browser/page_client.h"
#include "browser/web_page_fixture.h"
#include "browser/websocket_server.h"

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
        WebPageTest::SetUp();
        injector = std::make_unique<ScriptInjector>(
            ScriptInjector::Endpoints{.devToolsPort = chromium->devToolsPort(), .agentPort = server->boundPort()});
        router = std::make_unique<tools::ToolRouter>(router->families());
        tools::installWebTools(*router, *injector, sessions);
    }
    void TearDown() override {
        WebPageTest::TearDown();
        server.reset();
    }

    std::vector<std::string> listed() {
        std::vector<std::string> names;
        for (const auto& tool : sessions.allBrowserTools()) names.push_back(tool["name"]);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::unique_ptr<WebSocketServer> server;
};

TEST_F(PageAgent, OffersThePageControlsAndKeepsThemCurrent) {
    std::string url = open("agent.html");
    EXPECT_EQ(call("inject_webmcp", {{"browser", "chrome"}}),
              json({{"status", "injected"}, {"wsUrl", "ws://localhost:" + std::to_string(server->boundPort())}}));
    ASSERT_TRUE(test::eventually([&] { return !listed().empty(); }, 10s)) << "no tools_ready from the page";
    // Nothing inside the body tells the buttons apart, so the walk reaches the page title.
    EXPECT_EQ(listed(), (std::vector<std::string>{"click_leave_agent_page", "click_ring_agent_page", "fill_guest"}));

    json clicked = call("click_ring_agent_page", json::object());
    EXPECT_EQ(clicked["text"], "Clicked \"Ring\"") << clicked.dump();
    EXPECT_EQ(pageValue(url, "window.rung"), 1);
    ASSERT_FALSE(recorded.empty());
    EXPECT_EQ(recorded.back().context, "browser-ws");

    json filled = call("fill_guest", {{"value", "Ada"}});
    EXPECT_EQ(filled["text"], "Filled with \"Ada\"");
    EXPECT_EQ(pageValue(url, "document.querySelector('input').value"), "Ada");

    call("web_execute_js", {{"js", "document.getElementById('leave').remove(); JSON.stringify({})"}, {"url", url}});
    EXPECT_TRUE(test::eventually([&] { return !sessions.hasTool("click_leave_agent_page"); }, 5s));
    EXPECT_EQ(listed(), (std::vector<std::string>{"click_ring_agent_page", "fill_guest"}));

    EXPECT_EQ(call("inject_webmcp", json::object()), json({{"status", "already_connected"}}));
    EXPECT_EQ(call("inject_webmcp", {{"browser", "SAFARI"}}),
              json({{"error", "Safari: not available on this system; use Chromium or Chrome"}}));
}

}  // namespace
}  // namespace velmor::browser
