#pragma once

#include "base/guarded.h"
#include "base/taken_tool_names.h"
#include "browser/browser_session.h"
#include "browser/browser_tool.h"
#include "browser/page_connection.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::browser {

// The connected page sessions and the tools their agents offer. Only pages Velmor injected
// may offer tools: each injection gets a nonce tied to the tab's origin, and a connection
// counts as that page once it proved the nonce from that origin. Page tools never shadow the
// application's own tools, and what a page may register is bounded.
//
// The state is guarded by one lock, never held while a frame is sent, the taken names are
// asked or the change callback runs.
class PageAgents {
public:
    // What pages may offer: how many pages, and per page how many tools of what size.
    static constexpr size_t kMaxPageSessions = 32;
    static constexpr size_t kMaxToolsPerPage = 200;
    static constexpr size_t kMaxToolNameLength = 64;
    static constexpr size_t kMaxDescriptionLength = 1024;
    static constexpr size_t kMaxSchemaBytes = 16 * 1024;
    // Nonces of injections whose pages may still connect; the oldest are forgotten first.
    static constexpr size_t kRememberedNonces = 256;

    // A copy of one session's state.
    struct SessionState {
        std::string pageUrl;
        std::string pageTitle;
        bool isReady = false;
        std::vector<BrowserTool> tools;
        std::string origin;  // empty until the connection authenticated as an injected page
    };

    PageAgents() = default;
    PageAgents(const PageAgents&) = delete;
    PageAgents& operator=(const PageAgents&) = delete;

    // Called, outside the lock, whenever the set of ready tools may have changed.
    void setOnToolsChanged(std::function<void()> callback);
    // Which names belong to tools a call reaches first (fixed, element and web tools): a page
    // tool with one of them is refused, and one registered before them is no longer listed.
    // Without it pages may take any name. `names` must outlive this object; it is asked
    // without the lock held, as it may look up the web tools.
    void setTakenNames(const TakenToolNames& names);

    // Registers a session under a fresh lower-case UUID and greets it with "session_id".
    std::shared_ptr<BrowserSession> add(std::shared_ptr<PageConnection> connection);
    // Forgets the session; its nonce may be proved again by a new connection. Answers the
    // removed session, if there was one.
    std::shared_ptr<BrowserSession> remove(const std::string& sessionId);
    std::shared_ptr<BrowserSession> session(const std::string& sessionId) const;
    std::optional<SessionState> sessionState(const std::string& sessionId) const;

    // A fresh 128-bit nonce (32 hexadecimal digits) for an agent injected into a tab of
    // `origin` ("https://example.com"); the agent proves it with "session_auth".
    std::string issuePageNonce(const std::string& origin);
    // Makes the session the page the nonce was issued for, when `handshakeOrigin` is that
    // page's origin, no other live connection holds the nonce and there is room for another
    // page. Answers why not otherwise.
    std::optional<std::string> authenticatePage(const std::string& sessionId, const std::string& nonce,
                                                const std::string& handshakeOrigin);

    // Refuses (and logs) a tool with a malformed name, an overlong description or schema, a
    // taken name, or one tool too many; answers whether it was stored.
    bool registerTool(const std::string& sessionId, const std::string& name, const std::string& description,
                      nlohmann::json inputSchema);
    void unregisterTool(const std::string& sessionId, const std::string& name);
    // Lets the session's tools be listed; announces a change even for an unknown session.
    void markReady(const std::string& sessionId);
    void updatePageInfo(const std::string& sessionId, const std::string& url, const std::string& title);

    // True when any session, ready or not, offers the name and it is not taken.
    bool hasTool(const std::string& name) const;
    // The session offering the tool, when any does and the name is not taken.
    std::shared_ptr<BrowserSession> offering(const std::string& name) const;
    // The tools of ready sessions, each name once, taken names left out; each description
    // starts with "[page <origin>] ".
    nlohmann::json allBrowserTools() const;

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

    struct NonceRecord {
        std::string origin;
        std::string liveSessionId;  // the connection holding it now, empty when none
    };

    struct State {
        std::map<std::string, SessionRecord> sessions;
        // What allBrowserTools answers, built on first demand after any ready tool may have
        // changed. Catalogues are read far more often than pages change, and a list built in
        // one go lies compactly in memory, which makes copying it out several times cheaper
        // than assembling it from hundreds of sessions; the sessions' own lists spare the
        // rebuild after one page changed from describing every tool anew.
        mutable std::optional<nlohmann::json> listing;
        std::map<std::string, NonceRecord> nonces;
        std::deque<std::string> nonceOrder;  // oldest first
        const TakenToolNames* takenNames = nullptr;
    };

    // Whether a tool a call reaches first has the name; never with the lock held.
    bool isTaken(const std::string& name) const;
    void toolsChanged() const;

    Guarded<State> state_;
    Guarded<std::function<void()>> onToolsChanged_;
};

}  // namespace velmor::browser
