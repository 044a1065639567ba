#pragma once

#include "browser/page_agents.h"
#include "browser/devtools_client.h"
#include "browser/tab_frames.h"
#include "base/ports.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::browser {

// Runs JavaScript in a Chromium or Chrome tab over the DevTools Protocol and hands back the
// JSON object the script returned, or why it could not. Nothing throws. Holds no state
// beyond where the browser and the page-agent listener are, and the registry that issues the
// page agents' nonces. A JavaScript dialog the page opens meanwhile, or opened since the last
// call in that tab, is answered (by acceptedByDefault) and reported under "dialog" as
// {"type", "message"}.
class ScriptInjector {
public:
    struct Endpoints {
        std::string devToolsHost = "127.0.0.1";
        uint16_t devToolsPort = kDevToolsPort;
        // The plain ws:// page-agent listener pages connect back to.
        uint16_t agentPort = kPlainPageAgentPort;
        DevToolsLimits limits{};
        // How long a navigation may take to load the new document before it is answered.
        std::chrono::milliseconds navigationLimit{15'000};
    };

    // Where a tool acts: the tab remembered from its scan first, then the first tab whose
    // URL contains the pattern (letter case and the #fragment ignored), else the front tab.
    struct Tab {
        std::optional<std::string> urlPattern;
        std::string targetId;
    };

    // A page scan and the DevTools id of the tab it ran in (empty when it failed).
    struct Scan {
        Result<nlohmann::json> result;
        std::string targetId;
    };

    // How much page text a scan keeps unless asked for more, and the most it keeps.
    static constexpr size_t kDefaultTextLength = 1500;
    static constexpr size_t kMaxTextLength = 100'000;

    // `agents` issues the page agents' nonces; `endpoints.agentPort` must be the port of the
    // registry's plain ws:// listener, or injected agents would knock on the wrong door.
    // Talks to the browser's DevTools endpoint at the endpoints' host and port.
    ScriptInjector(Endpoints endpoints, PageAgents& agents);
    // Talks to the browser through `devTools`; the endpoints' DevTools host, port and limits
    // are then unused.
    ScriptInjector(Endpoints endpoints, std::shared_ptr<const DevToolsClient> devTools,
                   PageAgents& agents);

    // `browser`: "chrome" or "auto" (any case); "auto" is Chrome, and "safari" is answered
    // with an error that points at Chromium. A script that evaluates to a JSON object's text
    // (or an object) answers that object, whatever keys it has: it is the page's data, never
    // taken for a failure. Any other value comes back as {"result": value}, text that is not
    // JSON as the text itself.
    Result<nlohmann::json> runJS(const std::string& script, const std::string& browser = "auto",
                                 const std::optional<std::string>& urlPattern = std::nullopt) const;
    Scan scan(const std::string& browser, const std::optional<std::string>& urlPattern,
              size_t maxTextLength = kDefaultTextLength) const;
    // One of "click", "fill", "select", "fill_contenteditable", "set" on the element, or
    // "press": the key or key combination named by `value` sent to the element (to the
    // focused element when the selector is empty). An action that takes the tab to another
    // address answers once the new document has loaded, with it under "navigation".
    Result<nlohmann::json> execute(const std::string& action, const std::string& selector,
                                   const std::optional<std::string>& value, const Tab& tab) const;
    // Answers once the new document has loaded, or with what it has after the navigation limit.
    Result<nlohmann::json> navigate(const std::string& path, const std::optional<std::string>& urlPattern) const;
    // What web_wait_for waits for: shown text (letter case and runs of blanks ignored), shown
    // elements matching a CSS selector, or that text inside such elements, in any frame; to
    // appear, or with `gone` to be shown no more.
    struct Wait {
        std::string text;
        std::string selector;
        bool gone = false;
        std::chrono::milliseconds limit{10'000};
    };
    // Looks again every kWaitPollInterval until what `wait` asks for holds, then answers
    // {"status": "appeared" or "gone", "waited_ms", "seen" and "count" for what appeared}; a
    // failure once the limit has passed.
    Result<nlohmann::json> waitFor(const Wait& wait, const std::optional<std::string>& urlPattern) const;
    static constexpr std::chrono::milliseconds kWaitPollInterval{100};
    // Starts the page agent in the front tab, with a nonce issued for the tab's origin.
    Result<nlohmann::json> injectPageAgent(const std::string& browser) const;
    // Accepts or dismisses the dialog open in the tab the pattern picks, else in the tab whose
    // dialog opened last; `promptText` answers a prompt.
    Result<nlohmann::json> answerDialog(bool accept, const std::optional<std::string>& promptText,
                                        const std::optional<std::string>& urlPattern) const;

private:
    // `page` is the tab the work runs in; its URL is empty when it was reached by its id.
    using TabWork = std::function<Result<nlohmann::json>(DevToolsSession&, const DevToolsPage& page)>;

    // The first tab whose URL contains the pattern, else the front tab.
    Result<DevToolsPage> findTab(const std::optional<std::string>& urlPattern) const;
    // Connects to the chosen tab and runs `work` there; answers a dialog left open there
    // first, and reports the dialogs it met. Actions
    // (`acts`) get the page's focus events as if its window had the focus.
    Result<nlohmann::json> inTab(const Tab& tab, const TabWork& work, bool acts, std::string* usedTarget = nullptr) const;
    // In the page's own world (`contextId` absent): the agent's scripts and the page agent,
    // which works with the page's scripts. What the script evaluated to, as runJS tells it.
    // `limit` replaces the usual answer limit of each command.
    Result<nlohmann::json> evaluate(DevToolsSession& session, const std::string& script,
                                    std::optional<int64_t> contextId = std::nullopt,
                                    std::optional<std::chrono::milliseconds> limit = std::nullopt) const;
    // In a fresh isolated world of the frame a scan named by `frameKey` (the tab's main frame
    // when none is given), where what the page's scripts did to the built-ins
    // (JSON.stringify, Array.prototype.map, ...) does not reach.
    Result<nlohmann::json> evaluateApart(DevToolsSession& session, const std::string& script,
                                         const std::optional<std::string>& frameKey = std::nullopt,
                                         std::optional<std::chrono::milliseconds> limit = std::nullopt) const;
    // One of Velmor's own page scripts, which tell their failures as {"error": message}.
    // `namedByScan`: the frame came from a scan's selector, and may have left the page since.
    Result<nlohmann::json> evaluateInFrame(const TabFrame& frame, const std::string& script,
                                           std::optional<std::chrono::milliseconds> limit,
                                           bool namedByScan = false) const;
    // A fresh isolated world in the frame: its execution context id.
    Result<int64_t> isolatedWorld(const TabFrame& frame, std::optional<std::chrono::milliseconds> limit) const;
    // One look of the wait script in every frame: seen where any frame sees it (its first
    // sighting, the count summed), invalid where any frame says so, else what the main frame says.
    Result<nlohmann::json> lookInFrames(DevToolsSession& session, const std::string& script,
                                        std::chrono::milliseconds limit) const;
    // The scan script in every frame, its answers merged into one.
    Result<nlohmann::json> scanFrames(DevToolsSession& session, const std::string& script) const;
    // Navigates through the browser rather than the page, for a page that runs no script.
    Result<nlohmann::json> navigateFromBrowser(DevToolsSession& session, const std::string& path) const;
    // Where a navigation of the main frame (`target`) that the action just asked for has
    // taken the tab, as settleNavigation tells it; nothing when it asked for none.
    std::optional<nlohmann::json> followNavigation(DevToolsSession& session, const std::string& target) const;
    // Waits, up to the navigation limit, for the document a navigation of the main frame
    // brings: {"status": "loaded", "stopped" (no new document came), "cancelled" (a
    // leave-page question kept the page) or "navigating" (still on its way), "url", "title"}.
    nlohmann::json settleNavigation(DevToolsSession& session, const std::string& target, bool fromBrowser) const;
    Result<nlohmann::json> pressKey(DevToolsSession& session, const std::string& selector, const std::string& key) const;

    Endpoints endpoints_;
    std::shared_ptr<const DevToolsClient> devTools_;
    PageAgents& agents_;
};

}  // namespace velmor::browser
