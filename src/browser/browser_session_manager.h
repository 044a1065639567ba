#pragma once

#include "base/taken_tool_names.h"
#include "base/result.h"
#include "browser/browser_session.h"
#include "browser/browser_tool.h"
#include "browser/coalesced_trigger.h"
#include "browser/page_connection.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <semaphore>
#include <string>
#include <unordered_set>
#include <vector>

namespace velmor::browser {

// The one registry of the browser side: connected page sessions and their tools, web tools
// from page scans, tool calls waiting for a page's answer, and the connections that want to
// hear when the tool list changes. Everything is guarded by one mutex, which is never held
// while a frame is sent, a caller waits, or the change callback runs, so message handling
// on the WebSocket threads never waits behind a blocked tool call.
//
// Only pages Velmor injected may offer tools: each injection gets a nonce tied to the tab's
// origin, and a connection counts as that page once it proved the nonce from that origin.
// Page tools never shadow the application's own tools, and what a page may register is
// bounded.
class BrowserSessionManager {
public:
    // What one page may put into the registry.
    static constexpr size_t kMaxPageSessions = 32;
    static constexpr size_t kMaxToolsPerPage = 200;
    static constexpr size_t kMaxToolNameLength = 64;
    static constexpr size_t kMaxDescriptionLength = 1024;
    static constexpr size_t kMaxSchemaBytes = 16 * 1024;
    // Tool-change pushes are at most this frequent; a burst of changes becomes one push.
    static constexpr std::chrono::milliseconds kToolsChangedInterval{100};
    // Nonces of injections whose pages may still connect; the oldest are forgotten first.
    static constexpr size_t kRememberedNonces = 256;

    struct Timeouts {
        std::chrono::milliseconds toolCall{120'000};
    };

    // A copy of one session's registry state.
    struct SessionState {
        std::string pageUrl;
        std::string pageTitle;
        bool isReady = false;
        std::vector<BrowserTool> tools;
        std::string origin;  // empty until the connection authenticated as an injected page
    };

    BrowserSessionManager();
    explicit BrowserSessionManager(Timeouts timeouts);
    BrowserSessionManager(const BrowserSessionManager&) = delete;
    BrowserSessionManager& operator=(const BrowserSessionManager&) = delete;

    // Sessions, fed by the WebSocket server.
    // Registers a session under a fresh lower-case UUID and greets it with "session_id".
    std::shared_ptr<BrowserSession> createSession(std::shared_ptr<PageConnection> connection);
    // Calls still waiting on the session end at once with "browser session closed".
    void removeSession(const std::string& sessionId);
    std::shared_ptr<BrowserSession> getSession(const std::string& sessionId) const;
    std::optional<SessionState> sessionState(const std::string& sessionId) const;

    // Authentication.
    // A fresh 128-bit nonce (32 hexadecimal digits) for an agent injected into a tab of
    // `origin` ("https://example.com"); the agent proves it with "session_auth".
    std::string issuePageNonce(const std::string& origin);
    // Makes the session the page the nonce was issued for, when `handshakeOrigin` is that
    // page's origin, no other live connection holds the nonce and there is room for another
    // page. Answers why not otherwise.
    std::optional<std::string> authenticatePage(const std::string& sessionId, const std::string& nonce,
                                                const std::string& handshakeOrigin);
    // The bearer token a tool-change subscription must carry.
    void setSubscriptionToken(std::string token);

    // Refuses (and logs) a tool with a malformed name, an overlong description or schema, a
    // taken name, or one tool too many; answers whether it was stored.
    bool registerTool(const std::string& sessionId, const std::string& name, const std::string& description,
                      nlohmann::json inputSchema);
    void unregisterTool(const std::string& sessionId, const std::string& name);
    // Lets the session's tools be listed; announces a change even for an unknown session.
    void markReady(const std::string& sessionId);
    void updatePageInfo(const std::string& sessionId, const std::string& url, const std::string& title);

    // Page-agent tools, for the catalogue and the dispatcher.
    // Which names belong to tools a call reaches first (fixed, element and web tools): a page
    // tool with one of them is refused, and one registered before them is no longer listed.
    // Without it pages may take any name. `names` must outlive the registry; it is asked
    // without the registry's lock held, as it may look up this registry's web tools.
    void setTakenNames(const TakenToolNames& names);
    // True when any session, ready or not, offers the name and it is not taken.
    bool hasTool(const std::string& name) const;
    // The tools of ready sessions, each name once, taken names left out; each description
    // starts with "[page <origin>] ".
    nlohmann::json allBrowserTools() const;
    // Blocks until the page answers, the call times out or the session goes away.
    Result<nlohmann::json> callBrowserTool(const std::string& name, const nlohmann::json& args);
    // Answers from session `sessionId`. An answer for a call that is no longer waiting, or
    // that was sent to another session, is dropped.
    void handleToolResult(const std::string& sessionId, const std::string& callId, const nlohmann::json& content);
    void handleToolError(const std::string& sessionId, const std::string& callId, const std::string& error);

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
    // Subscribes the session's connection when `token` is the bearer token; answers whether
    // it did.
    bool subscribeToolChanges(const std::string& sessionId, const std::string& token);
    void removeSubscriber(const PageConnection* connection);
    // Sends {"type":"tools_changed"} to every subscriber, at most once per
    // kToolsChangedInterval; changes within the interval are announced when it ends.
    void notifyToolChangeSubscribers();

private:
    struct SessionRecord {
        std::shared_ptr<BrowserSession> session;
        std::map<std::string, BrowserTool> tools;
        bool isReady = false;
        std::string pageUrl;
        std::string pageTitle;
        std::string origin;  // set when the connection authenticated as an injected page
        std::string nonce;
        // The tools/list entries of `tools`, reserved names left out; built on first demand
        // after the session's tools change.
        mutable std::optional<nlohmann::json> listing;

        const nlohmann::json& listed() const;
    };

    struct PendingCall {
        std::string sessionId;
        std::optional<Result<nlohmann::json>> result;
        std::shared_ptr<std::binary_semaphore> answered;
    };

    struct Answer {
        bool timedOut = false;
        std::optional<Result<nlohmann::json>> result;
    };

    // Sends `request` to the session and waits for the answer that carries `callId`, whose
    // pending entry is already registered; removes the entry.
    Answer awaitAnswer(const BrowserSession& session, const std::string& callId, std::binary_semaphore& answered,
                       const nlohmann::json& request, std::chrono::milliseconds timeout);
    // Registers a pending entry for `callId`; call with the lock held.
    std::shared_ptr<std::binary_semaphore> addPendingLocked(const std::string& callId, const std::string& sessionId);
    // Stores the first answer for a waiting call and wakes its caller.
    void complete(const std::string& sessionId, const std::string& callId, Result<nlohmann::json> result);
    // Runs the change callback; never with the lock held.
    void toolsChanged();
    void pushToolsChanged();
    // Whether a tool a call reaches first has the name; never with the lock held.
    bool isTaken(const std::string& name) const;
    std::optional<std::string> refusalLocked(const SessionRecord& record, const std::string& name,
                                             const std::string& description, const nlohmann::json& inputSchema,
                                             bool taken) const;

    struct NonceRecord {
        std::string origin;
        std::string liveSessionId;  // the connection holding it now, empty when none
    };

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
    const TakenToolNames* takenNames_ = nullptr;
    std::map<std::string, NonceRecord> nonces_;
    std::deque<std::string> nonceOrder_;  // oldest first
    std::string subscriptionToken_;
    // Declared last, so it is destroyed first: its delayed push reads the members above.
    CoalescedTrigger toolsChangedPush_;
};

}  // namespace velmor::browser
