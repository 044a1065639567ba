#pragma once

#include "browser/browser_session.h"
#include "browser/browser_tool.h"
#include "browser/page_connection.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <semaphore>
#include <string>
#include <vector>

namespace velmor::browser {

// The one registry of the browser side: connected page sessions and their tools, web tools
// from page scans, tool calls waiting for a page's answer, and the connections that want to
// hear when the tool list changes. Everything is guarded by one mutex, which is never held
// while a frame is sent, a caller waits, or the change callback runs, so message handling
// on the WebSocket threads never waits behind a blocked tool call.
class BrowserSessionManager {
public:
    struct Timeouts {
        std::chrono::milliseconds toolCall{120'000};
        std::chrono::milliseconds screenshot{30'000};
    };

    // A copy of one session's registry state.
    struct SessionState {
        std::string pageUrl;
        std::string pageTitle;
        bool isReady = false;
        std::vector<BrowserTool> tools;
    };

    BrowserSessionManager();
    explicit BrowserSessionManager(Timeouts timeouts);
    BrowserSessionManager(const BrowserSessionManager&) = delete;
    BrowserSessionManager& operator=(const BrowserSessionManager&) = delete;

    // The process's registry; it lives until the process ends.
    static BrowserSessionManager& shared();

    // Sessions, fed by the WebSocket server.
    // Registers a session under a fresh lower-case UUID and greets it with "session_id".
    std::shared_ptr<BrowserSession> createSession(std::shared_ptr<PageConnection> connection);
    // Calls still waiting on the session end at once with "browser session closed".
    void removeSession(const std::string& sessionId);
    std::shared_ptr<BrowserSession> getSession(const std::string& sessionId) const;
    std::optional<SessionState> sessionState(const std::string& sessionId) const;
    void registerTool(const std::string& sessionId, const std::string& name, const std::string& description,
                      nlohmann::json inputSchema);
    void unregisterTool(const std::string& sessionId, const std::string& name);
    // Lets the session's tools be listed; announces a change even for an unknown session.
    void markReady(const std::string& sessionId);
    void updatePageInfo(const std::string& sessionId, const std::string& url, const std::string& title);

    // Page-agent tools, for the catalogue and the dispatcher.
    // True when any session, ready or not, offers the name.
    bool hasTool(const std::string& name) const;
    // The tools of ready sessions, each name once, the reserved names left out.
    nlohmann::json allBrowserTools() const;
    // Blocks until the page answers, the call times out or the session goes away.
    nlohmann::json callBrowserTool(const std::string& name, const nlohmann::json& args);
    // Blocks like a tool call; asks the first ready session for a screenshot.
    nlohmann::json captureScreenshot();
    // Answers from a page. An answer for a call that is no longer waiting is dropped.
    void handleToolResult(const std::string& callId, const nlohmann::json& content);
    void handleToolError(const std::string& callId, const std::string& error);
    void handleScreenshotResult(const std::string& callId, const std::string& base64Data);

    // Web tools from the last page scan; not tied to any session.
    void registerWebTool(WebTool tool);
    std::optional<WebTool> getWebTool(const std::string& name) const;
    void clearWebTools();
    // Puts the tools of a new scan in place of the old ones; true when tools/list changes
    // (a name, description or input schema differs).
    bool replaceWebTools(std::vector<WebTool> tools);
    nlohmann::json allWebTools() const;

    // Tool-change pushes.
    // Called, outside the registry's lock, whenever the set of ready tools may have changed.
    void setOnToolsChanged(std::function<void()> callback);
    // A connection subscribed twice is pushed to twice.
    void subscribeToolChanges(std::shared_ptr<PageConnection> connection);
    void removeSubscriber(const PageConnection* connection);
    // Sends {"type":"tools_changed"} to every subscriber.
    void notifyToolChangeSubscribers();

private:
    struct SessionRecord {
        std::shared_ptr<BrowserSession> session;
        std::map<std::string, BrowserTool> tools;
        bool isReady = false;
        std::string pageUrl;
        std::string pageTitle;
        // The tools/list entries of `tools`, reserved names left out; built on first demand
        // after the session's tools change.
        mutable std::optional<nlohmann::json> listing;

        const nlohmann::json& listed() const;
    };

    struct PendingCall {
        std::string sessionId;
        std::optional<nlohmann::json> result;
        std::shared_ptr<std::binary_semaphore> answered;
    };

    struct Answer {
        bool timedOut = false;
        std::optional<nlohmann::json> result;
    };

    // Sends `request` to the session and waits for the answer that carries `callId`, whose
    // pending entry is already registered; removes the entry.
    Answer awaitAnswer(const BrowserSession& session, const std::string& callId, std::binary_semaphore& answered,
                       const nlohmann::json& request, std::chrono::milliseconds timeout);
    // Registers a pending entry for `callId`; call with the lock held.
    std::shared_ptr<std::binary_semaphore> addPendingLocked(const std::string& callId, const std::string& sessionId);
    // Stores the first answer for a waiting call and wakes its caller.
    void complete(const std::string& callId, nlohmann::json result);
    // Runs the change callback; never with the lock held.
    void toolsChanged();

    const Timeouts timeouts_;
    mutable std::mutex mutex_;
    std::map<std::string, SessionRecord> sessions_;
    // What allBrowserTools answers, built on first demand after any ready tool may have
    // changed. Catalogues are read far more often than pages change, and a list built in one
    // go lies compactly in memory, which makes copying it out several times cheaper than
    // assembling it from hundreds of sessions; the sessions' own lists spare the rebuild
    // after one page changed from describing every tool anew.
    mutable std::optional<nlohmann::json> listing_;
    std::map<std::string, PendingCall> pendingCalls_;
    std::function<void()> onToolsChanged_;
    std::vector<std::shared_ptr<PageConnection>> subscribers_;
    std::map<std::string, WebTool> webTools_;
};

}  // namespace velmor::browser
