#pragma once

#include "browser/browser_session_manager.h"
#include "browser/page_client.h"
#include "browser/websocket_server.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace velmor::browser {

// A registry of its own behind a plain listener on an ephemeral port, and pages to connect.
class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override { startListener({}); }

    void startListener(BrowserSessionManager::Timeouts timeouts) {
        server.reset();
        sessions = std::make_unique<BrowserSessionManager>(timeouts);
        server = std::make_unique<WebSocketServer>(0, *sessions, "");
        ASSERT_TRUE(server->start(true));
    }

    std::unique_ptr<test::PageClient> page() { return std::make_unique<test::PageClient>(server->boundPort()); }

    // A page that registered `tools` (description "does <name>") and said it is ready.
    std::unique_ptr<test::PageClient> readyPage(const std::vector<std::string>& tools) {
        auto client = page();
        for (const auto& name : tools)
            client->send(nlohmann::json{{"type", "register_tool"},
                                        {"tool", {{"name", name}, {"description", "does " + name}}}});
        client->send(nlohmann::json{{"type", "tools_ready"}, {"tools", tools}});
        EXPECT_TRUE(test::eventually([&] {
            auto state = sessions->sessionState(client->sessionId());
            return state && state->isReady;
        }));
        return client;
    }

    // Every frame the page has sent so far has been handled once this returns: a "ping"
    // is answered only after them.
    void handled(test::PageClient& client) {
        client.send(std::string(R"({"type":"ping"})"));
        auto pong = client.nextJson();
        ASSERT_TRUE(pong);
        EXPECT_EQ(*pong, nlohmann::json({{"type", "pong"}}));
    }

    std::vector<std::string> listedNames() {
        std::vector<std::string> names;
        for (const auto& tool : sessions->allBrowserTools()) names.push_back(tool["name"]);
        return names;
    }

    std::unique_ptr<BrowserSessionManager> sessions;
    std::unique_ptr<WebSocketServer> server;
};

}  // namespace velmor::browser
