#pragma once

#include "browser/browser_session_manager.h"
#include "browser/devtools_client.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velmor::browser {

// Runs JavaScript in a Chromium or Chrome tab over the DevTools Protocol and hands back the
// JSON object the script returned, or {"error": message}. Nothing throws. Holds no state
// beyond where the browser and the page-agent listener are, and the registry that issues the
// page agents' nonces.
class ScriptInjector {
public:
    struct Endpoints {
        std::string devToolsHost = "127.0.0.1";
        uint16_t devToolsPort = 9222;
        // The plain ws:// page-agent listener pages connect back to.
        uint16_t agentPort = 19822;
    };

    ScriptInjector();
    explicit ScriptInjector(Endpoints endpoints, BrowserSessionManager& sessions = BrowserSessionManager::shared());

    // `browser`: "chrome", "safari" or "auto" (any case); "auto" is Chrome. Without a URL
    // pattern the front tab runs the script, with one the first tab whose URL contains it,
    // letter case ignored.
    nlohmann::json runJS(const std::string& script, const std::string& browser = "auto",
                         const std::optional<std::string>& urlPattern = std::nullopt) const;
    nlohmann::json scan(const std::string& browser, const std::optional<std::string>& urlPattern) const;
    // One of "click", "fill", "select", "fill_contenteditable" or "set" on the element.
    nlohmann::json execute(const std::string& action, const std::string& selector,
                           const std::optional<std::string>& value,
                           const std::optional<std::string>& urlPattern) const;
    nlohmann::json navigate(const std::string& path, const std::optional<std::string>& urlPattern) const;
    // Starts the page agent in the front tab, with a nonce issued for the tab's origin.
    nlohmann::json injectPageAgent(const std::string& browser) const;

private:
    nlohmann::json runInChrome(const std::string& script, const std::optional<std::string>& urlPattern) const;
    // The tab a script runs in: the front one, or the first whose URL contains the pattern.
    std::variant<DevToolsPage, nlohmann::json> choosePage(const std::optional<std::string>& urlPattern) const;
    nlohmann::json runInPage(const DevToolsPage& page, const std::string& script) const;

    Endpoints endpoints_;
    DevToolsClient devTools_;
    BrowserSessionManager& sessions_;
};

}  // namespace velmor::browser
