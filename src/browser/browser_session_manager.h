#pragma once

#include "base/result.h"
#include "browser/browser_session.h"
#include "browser/page_agents.h"
#include "browser/page_connection.h"
#include "browser/pending_calls.h"
#include "browser/scanned_web_tools.h"
#include "browser/subscription_broadcaster.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace velmor::browser {

// The browser side as the WebSocket listeners and the tools see it: the page agents and
// their tools, the calls waiting for a page's answer, the web tools of the last scan and the
// tool-change subscribers. Each part guards its own state; what needs more than one part (a
// connection's end, a call, a subscription) goes through here.
class BrowserSessionManager {
public:
    using Timeouts = PendingCalls::Timeouts;

    BrowserSessionManager() : BrowserSessionManager(Timeouts{}) {}
    explicit BrowserSessionManager(Timeouts timeouts) : calls_(timeouts) {}
    BrowserSessionManager(const BrowserSessionManager&) = delete;
    BrowserSessionManager& operator=(const BrowserSessionManager&) = delete;

    // A new connection: registered as a session and greeted with its "session_id".
    std::shared_ptr<BrowserSession> createSession(std::shared_ptr<PageConnection> connection);
    // The connection ended: its tools and subscription go, and calls still waiting on it end
    // at once with "browser session closed".
    void removeSession(const std::string& sessionId);
    // Subscribes the session's connection when `token` is the bearer token; answers whether
    // it did.
    bool subscribeToolChanges(const std::string& sessionId, const std::string& token);
    // Blocks until the page offering the tool answers, the call times out or the session goes
    // away.
    Result<nlohmann::json> callBrowserTool(const std::string& name, const nlohmann::json& args);

    PageAgents& agents() { return agents_; }
    PendingCalls& calls() { return calls_; }
    ScannedWebTools& webTools() { return webTools_; }
    SubscriptionBroadcaster& subscribers() { return subscribers_; }

private:
    PageAgents agents_;
    PendingCalls calls_;
    ScannedWebTools webTools_;
    SubscriptionBroadcaster subscribers_;
};

}  // namespace velmor::browser
