#pragma once

#include "browser/browser_session_manager.h"
#include "tools/tool_families.h"

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velmor::tools {

class ToolRegistry;

// Runs a scanned web tool in the active browser tab.
using WebToolExecutor =
    std::function<nlohmann::json(const browser::WebTool& tool, const std::optional<std::string>& value)>;

// The browser registry as the catalogue and the dispatcher see it: page-agent tools and
// scanned web tools.
class RegistryToolFamily final : public BrowserToolFamily {
public:
    // Without an executor, running a web tool answers that no browser is available.
    explicit RegistryToolFamily(browser::BrowserSessionManager& sessions, WebToolExecutor executor = {});

    nlohmann::json allBrowserTools() override;
    nlohmann::json allWebTools() override;
    bool hasTool(const std::string& name) override;
    nlohmann::json callBrowserTool(const std::string& name, const nlohmann::json& args) override;
    std::optional<browser::WebTool> getWebTool(const std::string& name) override;
    nlohmann::json executeInActiveBrowser(const browser::WebTool& tool,
                                          const std::optional<std::string>& value) override;

private:
    browser::BrowserSessionManager& sessions_;
    const WebToolExecutor executor_;
};

// Joins the browser side to the registry's one change signal: page agents report changes of
// their tools to `registry`, and what the registry signals reaches the bridge's subscribers,
// then `alsoNotify`.
void connectToolChanges(ToolRegistry& registry, browser::BrowserSessionManager& sessions,
                        std::function<void()> alsoNotify = {});

}  // namespace velmor::tools
