#include "tools/registry_tool_family.h"

#include "base/arguments.h"
#include "tools/tool_registry.h"

namespace velmor::tools {

using nlohmann::json;

RegistryToolFamily::RegistryToolFamily(browser::BrowserSessionManager& sessions, WebToolExecutor executor)
    : sessions_(sessions), executor_(std::move(executor)) {}

json RegistryToolFamily::allBrowserTools() { return sessions_.agents().allBrowserTools(); }

json RegistryToolFamily::allWebTools() { return sessions_.webTools().listing(); }

bool RegistryToolFamily::hasTool(const std::string& name) { return sessions_.agents().hasTool(name); }

json RegistryToolFamily::callBrowserTool(const std::string& name, const json& args) {
    return answerOf(sessions_.callBrowserTool(name, args));
}

std::optional<browser::WebTool> RegistryToolFamily::getWebTool(const std::string& name) {
    return sessions_.webTools().get(name);
}

json RegistryToolFamily::executeInActiveBrowser(const browser::WebTool& tool,
                                               const std::optional<std::string>& value) {
    if (!executor_) return errorResult("no browser available");
    return executor_(tool, value);
}

void connectToolChanges(ToolRegistry& registry, browser::BrowserSessionManager& sessions,
                        std::function<void()> alsoNotify) {
    sessions.agents().setOnToolsChanged([&registry] { registry.toolsChanged(); });
    registry.setOnToolsChanged([&subscribers = sessions.subscribers(), alsoNotify = std::move(alsoNotify)] {
        subscribers.push();
        if (alsoNotify) alsoNotify();
    });
}

}  // namespace velmor::tools
