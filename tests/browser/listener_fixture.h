#pragma once

#include "browser/browser_session_manager.h"
#include "browser/page_client.h"
#include "browser/page_tool_names.h"
#include "support/eventually.h"
#include "browser/websocket_server.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace velmor::browser {

// A registry of its own behind a plain listener on an ephemeral port, and pages to connect.
class ListenerTest : public ::testing::Test {
protected:
    static constexpr const char* kOrigin = "https://page.test";
    static constexpr const char* kToken = "the-bearer-token";

    void SetUp() override { startListener({}); }

    void startListener(BrowserSessionManager::Timeouts timeouts) {
        server.reset();
        toolNames.reset();
        sessions = std::make_unique<BrowserSessionManager>(timeouts);
        sessions->subscribers().setToken(kToken);
        // As the application wires it: pages never take a fixed, element or web tool's name.
        toolNames = std::make_unique<PageToolNames>(*sessions);
        server = std::make_unique<WebSocketServer>(0, *sessions, "");
        ASSERT_TRUE(server->start(true));
    }

    // A page agent Velmor injected into a tab of kOrigin, authenticated.
    std::unique_ptr<test::PageClient> page() {
        auto client = connection(kOrigin);
        client->send(nlohmann::json{{"type", "session_auth"}, {"nonce", sessions->agents().issuePageNonce(kOrigin)}});
        handled(*client);
        return client;
    }
    // A connection that has not authenticated (yet), with the handshake's Origin header.
    std::unique_ptr<test::PageClient> connection(const std::string& origin = {}) {
        return std::make_unique<test::PageClient>(server->boundPort(), nullptr, origin);
    }
    // The bridge: no Origin, subscribed to tool changes with the bearer token.
    std::unique_ptr<test::PageClient> bridge() {
        auto client = connection();
        client->send(nlohmann::json{{"type", "subscribe_tools_changed"}, {"token", kToken}});
        handled(*client);
        return client;
    }

    // A page that registered `tools` (description "does <name>") and said it is ready.
    std::unique_ptr<test::PageClient> readyPage(const std::vector<std::string>& tools) {
        auto client = page();
        for (const auto& name : tools)
            client->send(nlohmann::json{{"type", "register_tool"},
                                        {"tool", {{"name", name}, {"description", "does " + name}}}});
        client->send(nlohmann::json{{"type", "tools_ready"}, {"tools", tools}});
        EXPECT_TRUE(test::eventually([&] {
            auto state = sessions->agents().sessionState(client->sessionId());
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
        for (const auto& tool : sessions->agents().allBrowserTools()) names.push_back(tool["name"]);
        return names;
    }

    std::unique_ptr<BrowserSessionManager> sessions;
    std::unique_ptr<PageToolNames> toolNames;
    std::unique_ptr<WebSocketServer> server;
};

}  // namespace velmor::browser
