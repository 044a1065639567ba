#include "browser/script_injector.h"

#include "app/json_depth.h"
#include "browser/page_origin.h"
#include "browser/page_scripts.h"

#include <algorithm>
#include <cctype>

namespace velmor::browser {

using nlohmann::json;

namespace {

constexpr const char* kBrowserName = "Chrome";
constexpr const char* kSafariUnavailable = "Safari: not available on this system; use Chromium or Chrome";
constexpr size_t kEchoedTextLimit = 200;

json errorResult(const std::string& message) { return json{{"error", message}}; }

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool isSafari(const std::string& browser) { return lowered(browser) == "safari"; }

// The page scripts answer JSON.stringify of an object; anything else is reported with the
// start of what came back so the caller can see what the script did.
json decode(const EvaluationResult& result) {
    if (!result.hasValue || result.text.empty()) return errorResult(std::string("no result from ") + kBrowserName);
    json parsed = parseBoundedJson(result.text);
    if (parsed.is_object()) return parsed;
    return errorResult(std::string("invalid JSON from ") + kBrowserName + ": " +
                       result.text.substr(0, kEchoedTextLimit));
}

}  // namespace

ScriptInjector::ScriptInjector() : ScriptInjector(Endpoints{}) {}

ScriptInjector::ScriptInjector(Endpoints endpoints, BrowserSessionManager& sessions)
    : endpoints_(std::move(endpoints)),
      devTools_(endpoints_.devToolsHost, endpoints_.devToolsPort),
      sessions_(sessions) {}

json ScriptInjector::runJS(const std::string& script, const std::string& browser,
                           const std::optional<std::string>& urlPattern) const {
    if (isSafari(browser)) return errorResult(kSafariUnavailable);
    return runInChrome(script, urlPattern);
}

json ScriptInjector::scan(const std::string& browser, const std::optional<std::string>& urlPattern) const {
    return runJS(buildScanScript(), browser, urlPattern);
}

json ScriptInjector::execute(const std::string& action, const std::string& selector,
                             const std::optional<std::string>& value,
                             const std::optional<std::string>& urlPattern) const {
    return runInChrome(buildActionScript(action, selector, value), urlPattern);
}

json ScriptInjector::navigate(const std::string& path, const std::optional<std::string>& urlPattern) const {
    return runInChrome(buildNavigationScript(path), urlPattern);
}

json ScriptInjector::injectPageAgent(const std::string& browser) const {
    if (isSafari(browser)) return errorResult(kSafariUnavailable);
    auto chosen = choosePage(std::nullopt);
    if (auto* error = std::get_if<json>(&chosen)) return *error;
    const auto& page = std::get<DevToolsPage>(chosen);
    std::string nonce = sessions_.issuePageNonce(pageOrigin(page.url));
    return runInPage(page, buildPageAgentScript("ws", endpoints_.agentPort, nonce));
}

json ScriptInjector::runInChrome(const std::string& script, const std::optional<std::string>& urlPattern) const {
    auto chosen = choosePage(urlPattern);
    if (auto* error = std::get_if<json>(&chosen)) return *error;
    return runInPage(std::get<DevToolsPage>(chosen), script);
}

std::variant<DevToolsPage, json> ScriptInjector::choosePage(const std::optional<std::string>& urlPattern) const {
    auto listed = devTools_.listPages();
    if (auto* error = std::get_if<DevToolsError>(&listed)) return errorResult(error->message);
    auto& pages = std::get<std::vector<DevToolsPage>>(listed);
    if (!urlPattern || urlPattern->empty()) {
        if (pages.empty()) return errorResult("no Chrome windows");
        return std::move(pages.front());
    }
    std::string pattern = lowered(*urlPattern);
    auto match = std::find_if(pages.begin(), pages.end(),
                              [&](const DevToolsPage& p) { return lowered(p.url).find(pattern) != std::string::npos; });
    if (match == pages.end()) return errorResult("no Chrome tab matching '" + *urlPattern + "'");
    return std::move(*match);
}

json ScriptInjector::runInPage(const DevToolsPage& page, const std::string& script) const {
    auto evaluated = devTools_.evaluate(page, script);
    if (auto* error = std::get_if<DevToolsError>(&evaluated)) return errorResult(error->message);
    return decode(std::get<EvaluationResult>(evaluated));
}

}  // namespace velmor::browser
