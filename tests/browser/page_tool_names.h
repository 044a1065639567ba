#pragma once

#include "base/error_result.h"
#include "browser/browser_session_manager.h"
#include "tools/registry_tool_family.h"
#include "tools/tool_router.h"

#include <memory>
#include <string>
#include <vector>

namespace velmor::browser {

// Element tools by name only, as a test sets them: the controlled application's last scan.
struct ListedElementTools final : tools::ElementToolFamily {
    std::vector<std::string> names;

    std::vector<tools::ElementTool> elementTools() override {
        std::vector<tools::ElementTool> tools;
        for (const auto& name : names) tools.push_back({name, "click", name});
        return tools;
    }
    nlohmann::json performAction(const std::string&, const nlohmann::json&, const tools::StepRecorder&) override {
        return errorResult("no active session");
    }
};

// The tool registry wired to `sessions` as the application wires it: asked for the names page
// tools leave alone (the fixed tools, `elements` and the sessions' web tools come first), and
// told of changes of the page tools, which it passes on to the subscribers. Outlives every
// connection that may register a page tool.
class PageToolNames {
public:
    explicit PageToolNames(BrowserSessionManager& sessions) : router_(families(sessions)) {
        sessions.agents().setTakenNames(router_.registry().takenForPageTools());
        tools::connectToolChanges(router_.registry(), sessions);
    }

    tools::ToolRegistry& registry() { return router_.registry(); }

    const std::shared_ptr<ListedElementTools> elements = std::make_shared<ListedElementTools>();

private:
    tools::ToolFamilies families(BrowserSessionManager& sessions) const {
        tools::ToolFamilies families;
        families.elements = elements;
        families.browser = std::make_shared<tools::RegistryToolFamily>(sessions);
        return families;
    }

    tools::ToolRouter router_;
};

}  // namespace velmor::browser
