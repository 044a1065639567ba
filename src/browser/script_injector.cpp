#include "browser/script_injector.h"

#include "base/call_context.h"
#include "base/json_depth.h"
#include "base/json_fields.h"
#include "base/outside_text.h"
#include "base/text.h"
#include "browser/frame_scan.h"
#include "browser/key_events.h"
#include "browser/page_origin.h"
#include "browser/page_scripts.h"
#include "browser/scan_answer.h"
#include "browser/tab_frames.h"

#include <algorithm>
#include <cctype>

namespace velmor::browser {

using nlohmann::json;

namespace {

constexpr const char* kSafariUnavailable = "Safari: not available on this system; use Chromium or Chrome";
constexpr const char* kNoResult = "no result from Chrome";
// The scan and action scripts run in a JavaScript world of their own, which shares the page's
// document but none of its scripts' changes to the built-ins.
constexpr const char* kWorldName = "velmor";
// Reading where a page stands after a navigation is a small script; a tab that cannot run it
// quickly is reported as it is.
constexpr std::chrono::milliseconds kStateReadLimit{2'000};

bool isSafari(const std::string& browser) { return lowerAscii(browser) == "safari"; }

std::string withoutFragment(const std::string& url) { return url.substr(0, url.find('#')); }

// In-page navigation changes only the #fragment; a tab scanned at "/#/active" is the same
// tab at "/#/completed". A pattern that is nothing but a fragment is matched as written.
bool urlMatches(const std::string& url, const std::string& pattern) {
    std::string wanted = lowerAscii(withoutFragment(pattern));
    if (wanted.empty()) return lowerAscii(url).find(lowerAscii(pattern)) != std::string::npos;
    return lowerAscii(withoutFragment(url)).find(wanted) != std::string::npos;
}

std::string exceptionText(const json& details) {
    if (auto exception = details.find("exception"); exception != details.end() && exception->is_object()) {
        if (std::string description = stringFieldOr(*exception, "description"); !description.empty()) return description;
    }
    std::string text = stringFieldOr(details, "text");
    return text.empty() ? "script error" : text;
}

// The page scripts answer the JSON text of an object, which is handed back as that object.
// Scripts of the caller's own may produce any value: it comes back under "result", text
// that is not JSON as the text.
Result<json> decode(const json& value) {
    if (value.is_null()) return fail(kNoResult);
    if (value.is_object()) return value;
    if (!value.is_string()) return json{{"result", value}};
    const auto& text = value.get_ref<const std::string&>();
    if (text.empty()) return fail(kNoResult);
    json parsed = parseBoundedJson(text);
    if (parsed.is_object()) return parsed;
    if (!parsed.is_discarded()) return json{{"result", std::move(parsed)}};
    return json{{"result", text}};
}

using Clock = std::chrono::steady_clock;

// How long past a wait's deadline a page may take to answer its last look.
constexpr std::chrono::milliseconds kWaitGrace{1'000};

// Why a wait ended without what it waited for.
std::string unmetWait(const ScriptInjector::Wait& wait) {
    std::string within = (wait.gone ? " after " : " within ") + secondsText(wait.limit);
    std::string text = "the text \"" + wait.text + "\"";
    std::string matching = "matching \"" + wait.selector + "\"";
    if (wait.selector.empty()) return text + (wait.gone ? " was still shown" : " did not appear") + within;
    if (wait.text.empty())
        return (wait.gone ? "an element " + matching + " was still shown" : "no element " + matching + " appeared") + within;
    return text + (wait.gone ? " was still shown in an element " : " did not appear in an element ") + matching + within;
}

// Velmor's own page scripts tell a failure as {"error": message}; what a caller's script
// answers is never read this way.
Result<json> ownScriptAnswer(Result<json> answer) {
    VELMOR_RETURN_IF_FAILED(answer);
    auto error = answer->find("error");
    if (error == answer->end()) return answer;
    return fail(error->is_string() ? error->get<std::string>() : "the page script failed");
}

json reportedDialog(const PageDialog& dialog) {
    return {{"type", outside_text::label(dialog.type)}, {"message", outside_text::description(dialog.message)}};
}

// What an action reports of the element (a click's label, what a select holds and why it is
// not as asked) is the page's text.
void showPageWords(json& done) {
    if (const std::string* label = stringField(done, "label")) done["label"] = outside_text::label(*label);
    if (const std::string* note = stringField(done, "note")) done["note"] = outside_text::description(*note);
    if (auto selected = done.find("selected"); selected != done.end()) *selected = checkedLabels(*selected);
}

}  // namespace

ScriptInjector::ScriptInjector(Endpoints endpoints, PageAgents& agents)
    : ScriptInjector(endpoints,
                     std::make_shared<ChromiumDevTools>(endpoints.devToolsHost, endpoints.devToolsPort, endpoints.limits),
                     agents) {}

ScriptInjector::ScriptInjector(Endpoints endpoints, std::shared_ptr<const DevToolsClient> devTools,
                               PageAgents& agents)
    : endpoints_(std::move(endpoints)), devTools_(std::move(devTools)), agents_(agents) {}

Result<json> ScriptInjector::runJS(const std::string& script, const std::string& browser,
                                   const std::optional<std::string>& urlPattern) const {
    if (isSafari(browser)) return fail(kSafariUnavailable);
    return inTab({urlPattern, ""},
                 [&](DevToolsSession& session, const DevToolsPage&) { return evaluate(session, script); }, false);
}

ScriptInjector::Scan ScriptInjector::scan(const std::string& browser, const std::optional<std::string>& urlPattern,
                                          size_t maxTextLength) const {
    if (isSafari(browser)) return {fail(kSafariUnavailable), ""};
    std::string script = buildScanScript(std::min(maxTextLength, kMaxTextLength));
    std::string targetId;
    auto result = inTab(
        {urlPattern, ""}, [&](DevToolsSession& session, const DevToolsPage&) { return scanFrames(session, script); },
        false, &targetId);
    return {std::move(result), std::move(targetId)};
}

Result<json> ScriptInjector::execute(const std::string& action, const std::string& selector,
                                     const std::optional<std::string>& value, const Tab& tab) const {
    return inTab(tab, [&](DevToolsSession& session, const DevToolsPage& page) -> Result<json> {
        auto [frameKey, inner] = splitFrameSelector(selector);
        auto done = action == "press" ? pressKey(session, selector, value.value_or(""))
                                      : evaluateApart(session, buildActionScript(action, inner, value), frameKey);
        VELMOR_RETURN_IF_FAILED(done);
        showPageWords(*done);
        // A link, a form sent with Enter or a page's own handler may take the tab elsewhere;
        // the answer waits for the new document, so the next call meets it.
        if (auto moved = followNavigation(session, page.id)) (*done)["navigation"] = std::move(*moved);
        return done;
    }, true);
}

Result<json> ScriptInjector::navigate(const std::string& path, const std::optional<std::string>& urlPattern) const {
    return inTab({urlPattern, ""}, [&](DevToolsSession& session, const DevToolsPage& page) -> Result<json> {
        // A page blocked by a dialog runs no script; the browser itself can still take it away.
        DialogWatch* watch = devTools_->dialogWatch();
        bool fromBrowser = watch && watch->pageSilent(page.id);
        auto answer = fromBrowser ? navigateFromBrowser(session, path)
                                  : ownScriptAnswer(evaluate(session, buildNavigationScript(path)));
        VELMOR_RETURN_IF_FAILED(answer);
        answer->update(settleNavigation(session, page.id, fromBrowser));
        return answer;
    }, false);
}

std::optional<json> ScriptInjector::followNavigation(DevToolsSession& session, const std::string& target) const {
    // Navigations the action asked for are requested before its script answers; one a page
    // starts later, from a timer or after a request of its own, is not waited for.
    bool started = session.skipToArrivedEvent([&](const std::string& method, const json& params) {
        if (!params.is_object() || stringFieldOr(params, "frameId") != target) return false;
        if (method == "Page.navigatedWithinDocument") return true;
        return method == "Page.frameRequestedNavigation" && stringFieldOr(params, "disposition") == "currentTab";
    });
    if (!started) return std::nullopt;
    return settleNavigation(session, target, false);
}

json ScriptInjector::settleNavigation(DevToolsSession& session, const std::string& target, bool fromBrowser) const {
    std::string outcome = "navigating";
    bool answered = session.waitForEvent(
        [&](const std::string& method, const json& params) {
            bool mainFrame = params.is_object() && stringFieldOr(params, "frameId") == target;
            if (method == "Page.loadEventFired" || (method == "Page.navigatedWithinDocument" && mainFrame))
                outcome = "loaded";
            else if (method == "Page.frameStoppedLoading" && mainFrame)
                // The page blocked until now tells of its new document's load only when it
                // is quick to take up this client; the browser's own word is the end of it.
                outcome = fromBrowser ? "loaded" : "stopped";
            else if (method == "Page.javascriptDialogOpening" && stringFieldOr(params, "type") == "beforeunload")
                outcome = "cancelled";  // the dialog is dismissed: the page stays
            return outcome != "navigating";
        },
        endpoints_.navigationLimit);
    json settled = {{"status", outcome}};
    // A wait that ran out closed its connection; where the tab stands is read afresh.
    std::unique_ptr<DevToolsSession> fresh;
    DevToolsSession* reader = &session;
    if (!answered) {
        // A tab that cannot be reached again is answered without its place.
        if (auto connected = devTools_->connect(target)) fresh = std::move(*connected);
        reader = fresh.get();
    }
    if (!reader) return settled;
    auto state = reader->call("Runtime.evaluate",
                              {{"expression", "({url: location.href, title: document.title})"}, {"returnByValue", true}},
                              kStateReadLimit);
    if (!state) return settled;
    auto remote = state->find("result");
    if (remote == state->end() || !remote->is_object()) return settled;
    auto value = remote->find("value");
    if (value == remote->end() || !value->is_object()) return settled;
    settled["url"] = stringFieldOr(*value, "url");
    settled["title"] = outside_text::title(stringFieldOr(*value, "title"));
    return settled;
}

Result<json> ScriptInjector::navigateFromBrowser(DevToolsSession& session, const std::string& path) const {
    auto history = session.call("Page.getNavigationHistory");
    VELMOR_RETURN_IF_FAILED(history);
    const json* entries = findField(*history, "entries");
    const json* index = findField(*history, "currentIndex");
    if (!entries || !entries->is_array() || !index || !index->is_number_integer() || *index < 0 ||
        index->get<size_t>() >= entries->size())
        return fail("Chrome: the tab's address is unknown");
    std::string current = stringFieldOr((*entries)[index->get<size_t>()], "url");
    auto started = session.call("Page.navigate", {{"url", resolvedUrl(current, path)}});
    VELMOR_RETURN_IF_FAILED(started);
    if (std::string failure = stringFieldOr(*started, "errorText"); !failure.empty())
        return fail("Chrome: " + outside_text::description(failure));
    return json{{"status", "navigating"}, {"path", path}};
}

Result<json> ScriptInjector::injectPageAgent(const std::string& browser) const {
    if (isSafari(browser)) return fail(kSafariUnavailable);
    return inTab({std::nullopt, ""}, [&](DevToolsSession& session, const DevToolsPage& page) {
        // The origin comes from the browser's own tab list, not from anything the page says.
        std::string nonce = agents_.issuePageNonce(pageOrigin(page.url));
        return ownScriptAnswer(evaluate(session, buildPageAgentScript("ws", endpoints_.agentPort, nonce)));
    }, false);
}

Result<DevToolsPage> ScriptInjector::findTab(const std::optional<std::string>& urlPattern) const {
    auto listed = devTools_->listPages();
    VELMOR_RETURN_IF_FAILED(listed);
    const auto& pages = *listed;
    if (!urlPattern || urlPattern->empty()) {
        if (pages.empty()) return fail("no Chrome windows");
        return pages.front();
    }
    auto match = std::find_if(pages.begin(), pages.end(),
                              [&](const DevToolsPage& p) { return urlMatches(p.url, *urlPattern); });
    if (match == pages.end()) return fail("no Chrome tab matching '" + *urlPattern + "'");
    return *match;
}

Result<json> ScriptInjector::inTab(const Tab& tab, const TabWork& work, bool acts, std::string* usedTarget) const {
    std::unique_ptr<DevToolsSession> session;
    DevToolsPage chosen;
    if (!tab.targetId.empty()) {
        // A tab that has gone since its scan is looked for again below.
        if (auto connected = devTools_->connect(tab.targetId)) {
            session = std::move(*connected);
            chosen.id = tab.targetId;
        }
    }
    if (!session) {
        auto found = findTab(tab.urlPattern);
        VELMOR_RETURN_IF_FAILED(found);
        auto connected = devTools_->connect(*found);
        VELMOR_RETURN_IF_FAILED(connected);
        session = std::move(*connected);
        chosen = std::move(*found);
    }
    // A dialog the page opened since the last call blocks every script there: it is answered
    // by the usual rule first, and told of in this call's answer.
    DialogWatch* watch = devTools_->dialogWatch();
    auto start = watch ? watch->beginCall(chosen.id) : DialogWatch::CallStart{};
    std::optional<PageDialog> metBefore = start.answered;
    session->answerDialogs(!start.heard);
    // Dialogs are only reported to a client with the Page domain on. Focus emulation lets a
    // background tab see focus and blur, which debounced fields rely on to commit a value.
    session->send("Page.enable");
    if (acts) session->send("Emulation.setFocusEmulationEnabled", {{"enabled", true}});
    auto result = work(*session, chosen);
    std::optional<PageDialog> metDuring = start.heard ? watch->endCall(chosen.id) : std::nullopt;
    if (!result && watch) {
        // A page that did not answer may be waiting for someone to answer its dialog.
        if (auto open = watch->openDialog(chosen.id))
            return fail(result.error() + "; the page shows a " + outside_text::label(open->type) + " dialog (\"" +
                        outside_text::description(open->message) + "\"): answer it with web_handle_dialog");
        if (watch->pageSilent(chosen.id))
            return fail(result.error() +
                        "; the page may show a dialog that opened before Velmor reached the tab: web_navigate "
                        "takes the tab past it");
    }
    VELMOR_RETURN_IF_FAILED(result);
    if (!session->dialogs().empty()) metDuring = session->dialogs().front();
    if (metBefore || metDuring) (*result)["dialog"] = reportedDialog(metBefore ? *metBefore : *metDuring);
    if (usedTarget) *usedTarget = chosen.id;
    return result;
}

Result<json> ScriptInjector::answerDialog(bool accept, const std::optional<std::string>& promptText,
                                          const std::optional<std::string>& urlPattern) const {
    DialogWatch* watch = devTools_->dialogWatch();
    if (!watch) return fail("no dialog is open in the tab");
    std::string target;
    if (urlPattern && !urlPattern->empty()) {
        auto found = findTab(urlPattern);
        VELMOR_RETURN_IF_FAILED(found);
        target = found->id;
        // A dialog that opened a moment ago may be on its way to the listener still.
        if (!watch->openDialog(target)) watch->catchUp();
    } else {
        if (watch->tabsWithDialogs().empty()) watch->catchUp();
        auto open = watch->tabsWithDialogs();
        if (open.empty()) return fail("no dialog is open in any tab Velmor has worked in");
        target = open.front();
    }
    auto answered = watch->answer(target, accept, promptText);
    VELMOR_RETURN_IF_FAILED(answered);
    json result = {{"status", accept ? "accepted" : "dismissed"}, {"dialog", reportedDialog(*answered)}};
    if (accept && promptText && answered->type == "prompt") result["prompt_text"] = *promptText;
    return result;
}

Result<json> ScriptInjector::waitFor(const Wait& wait, const std::optional<std::string>& urlPattern) const {
    std::string script = buildWaitScript(wait.text, wait.selector);
    return inTab({urlPattern, ""}, [&](DevToolsSession& session, const DevToolsPage&) -> Result<json> {
        auto start = Clock::now();
        auto deadline = start + wait.limit;
        while (true) {
            // A page slow to answer is given a moment past the deadline before it counts as
            // not answering at all.
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            auto look = lookInFrames(session, script, std::max(left, std::chrono::milliseconds(0)) + kWaitGrace);
            std::string state = look ? stringFieldOr(*look, "state") : "";
            if (state == "invalid")
                return fail("invalid selector '" + wait.selector +
                            "': " + outside_text::description(stringFieldOr(*look, "reason")));
            // A look that failed (a document on its way, a frame gone) settles nothing.
            bool seen = state == "seen";
            if (!state.empty() && seen != wait.gone) {
                json answer = {{"status", wait.gone ? "gone" : "appeared"},
                               {"waited_ms", std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()}};
                if (!wait.text.empty()) answer["text"] = wait.text;
                if (!wait.selector.empty()) answer["selector"] = wait.selector;
                if (seen) {
                    answer["seen"] = outside_text::description(stringFieldOr(*look, "seen"));
                    answer["count"] = look->value("count", 1);
                }
                return answer;
            }
            if (!session.usable()) {
                VELMOR_RETURN_IF_FAILED(look);
                return fail("Chrome: the connection to the tab was lost");
            }
            auto now = Clock::now();
            if (now >= deadline) return fail(unmetWait(wait));
            if (!currentCall().waitFor(std::min<Clock::duration>(kWaitPollInterval, deadline - now)))
                return fail("the wait was cancelled");
        }
    }, false);
}

Result<json> ScriptInjector::lookInFrames(DevToolsSession& session, const std::string& script,
                                          std::chrono::milliseconds limit) const {
    std::optional<Result<json>> main;
    json seen;
    int64_t count = 0;
    auto visited = visitTabFrames(session, limit, [&](const TabFrame& frame) {
        auto look = evaluateInFrame(frame, script, frame.limit);
        std::string state = look ? stringFieldOr(*look, "state") : "";
        if (state == "invalid") {
            seen = std::move(*look);
            return false;
        }
        if (state == "seen") {
            if (seen.is_null()) seen = *look;
            count += look->value("count", 1);
        }
        if (!main) main = std::move(look);
        return session.usable();
    });
    VELMOR_RETURN_IF_FAILED(visited);
    if (stringFieldOr(seen, "state") == "invalid") return seen;
    if (seen.is_null()) return std::move(main).value_or(fail(kNoResult));
    seen["count"] = count;
    return seen;
}

Result<json> ScriptInjector::scanFrames(DevToolsSession& session, const std::string& script) const {
    std::optional<Result<json>> main;
    std::vector<FrameScan> below;
    std::vector<UnreachedFrame> unreached;
    auto visited = visitTabFrames(session, std::nullopt, [&](const TabFrame& frame) {
        auto result = evaluateInFrame(frame, script, frame.limit);
        if (!main) {
            main = std::move(result);
            return main->ok();
        }
        // A frame that cannot be read (gone meanwhile, still loading) leaves out only itself;
        // one that did not answer in time also those not yet read, and is told of.
        if (result) below.push_back({frame.key, frame.name, std::move(*result)});
        else if (!session.usable()) unreached.push_back({frame.url, result.error()});
        return session.usable();
    }, &unreached);
    VELMOR_RETURN_IF_FAILED(visited);
    auto mainScan = std::move(main).value_or(fail(kNoResult));
    VELMOR_RETURN_IF_FAILED(mainScan);
    json merged = mergedFrameScans(std::move(*mainScan), below);
    for (const auto& frame : unreached)
        merged["unread_frames"].push_back({{"url", outside_text::description(frame.url)}, {"error", frame.error}});
    return merged;
}

Result<json> ScriptInjector::evaluateApart(DevToolsSession& session, const std::string& script,
                                           const std::optional<std::string>& frameKey,
                                           std::optional<std::chrono::milliseconds> limit) const {
    std::unique_ptr<DevToolsSession> attached;
    auto frame = frameKey ? reachFrame(session, *frameKey, attached, limit) : mainFrame(session, limit);
    VELMOR_RETURN_IF_FAILED(frame);
    return evaluateInFrame(*frame, script, limit, frameKey.has_value());
}

Result<json> ScriptInjector::evaluateInFrame(const TabFrame& frame, const std::string& script,
                                             std::optional<std::chrono::milliseconds> limit, bool namedByScan) const {
    auto world = isolatedWorld(frame, limit);
    // A frame named by an earlier scan may have been taken out of the page since.
    if (!world) return fail(namedByScan ? kFrameGoneError : world.error());
    return ownScriptAnswer(evaluate(*frame.session, script, *world, limit));
}

Result<int64_t> ScriptInjector::isolatedWorld(const TabFrame& frame, std::optional<std::chrono::milliseconds> limit) const {
    // A world of its own for each script: one made earlier may have gone with its document.
    auto world = frame.session->call("Page.createIsolatedWorld", {{"frameId", frame.id}, {"worldName", kWorldName}}, limit);
    VELMOR_RETURN_IF_FAILED(world);
    const json* context = findField(*world, "executionContextId");
    if (!context || !context->is_number_integer()) return fail("Chrome: no isolated world for the script");
    return context->get<int64_t>();
}

Result<json> ScriptInjector::evaluate(DevToolsSession& session, const std::string& script,
                                      std::optional<int64_t> contextId,
                                      std::optional<std::chrono::milliseconds> limit) const {
    json params = {{"expression", script}, {"returnByValue", true}, {"awaitPromise", true}, {"userGesture", true}};
    if (contextId) params["contextId"] = *contextId;
    auto answer = session.call("Runtime.evaluate", params, limit);
    VELMOR_RETURN_IF_FAILED(answer);
    const json& result = *answer;
    if (auto details = result.find("exceptionDetails"); details != result.end() && details->is_object())
        return fail("Chrome: " + outside_text::description(exceptionText(*details)));
    auto remote = result.find("result");
    if (remote == result.end() || !remote->is_object()) return fail(kNoResult);
    auto value = remote->find("value");
    if (value == remote->end()) return fail(kNoResult);
    return decode(*value);
}

Result<json> ScriptInjector::pressKey(DevToolsSession& session, const std::string& selector,
                                      const std::string& key) const {
    auto press = keyPress(key);
    if (!press) return fail("unknown key '" + key + "': use " + knownKeyNames());
    // Keys go to the renderer of the frame they are meant for: a frame of another site has
    // an input route of its own.
    std::unique_ptr<DevToolsSession> attached;
    DevToolsSession* receiver = &session;
    if (!selector.empty()) {
        auto [frameKey, inner] = splitFrameSelector(selector);
        auto frame = frameKey ? reachFrame(session, *frameKey, attached) : mainFrame(session);
        VELMOR_RETURN_IF_FAILED(frame);
        VELMOR_RETURN_IF_FAILED(
            evaluateInFrame(*frame, buildActionScript("focus", inner, std::nullopt), std::nullopt, frameKey.has_value()));
        receiver = frame->session;
    }
    for (const json& event : press->events) VELMOR_RETURN_IF_FAILED(receiver->call("Input.dispatchKeyEvent", event));
    json answer = {{"status", "pressed"}, {"key", press->key}};
    if (!press->modifiers.empty()) answer["modifiers"] = press->modifiers;
    return answer;
}

}  // namespace velmor::browser
