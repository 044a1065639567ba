#pragma once

#include "base/result.h"
#include "browser/browser_tool.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::tools {

// The dynamic tool families. Each is owned by its subsystem (session, browser registry,
// Shortcuts); the catalogue lists their tools and the dispatcher falls through to them.

// One step for the flow being recorded.
struct StepRecord {
    std::string toolName;
    nlohmann::json args = nlohmann::json::object();
    std::optional<std::string> windowTitle;
    std::optional<int64_t> elementCount;
    std::optional<std::string> pageUrl;
    std::optional<std::string> context;
};

using StepRecorder = std::function<void(const StepRecord&)>;

// One element tool of the controlled application's last scan.
struct ElementTool {
    std::string toolName;
    std::string toolPrefix;  // the kind of action: "click", "fill", "set", ...
    std::string description;
};

class ElementToolFamily {
public:
    virtual ~ElementToolFamily() = default;
    // The element tools of the last scan, in scan order; empty without a session.
    virtual std::vector<ElementTool> elementTools() = 0;
    // Whether the last scan has an element tool of that name.
    virtual bool hasElementTool(const std::string& name) {
        auto tools = elementTools();
        return std::any_of(tools.begin(), tools.end(), [&](const ElementTool& tool) { return tool.toolName == name; });
    }
    // Carries out one element tool; answers its own error for an unknown name. An action
    // that took is handed to `record` before the next operation may change the recording.
    virtual nlohmann::json performAction(const std::string& toolName, const nlohmann::json& args,
                                         const StepRecorder& record) = 0;
};

// Whether a web tool of `actionType` can take the `value` argument given: a string, or for a
// select a list of strings.
Result<void> checkWebToolValue(const std::string& actionType, const nlohmann::json& args);

// What a call of a web tool name that no scan holds (any more) is answered.
inline std::string webToolNotFound(const std::string& name) {
    return "web tool '" + name + "' not found. Run web_scan first.";
}

class BrowserToolFamily {
public:
    virtual ~BrowserToolFamily() = default;
    virtual nlohmann::json allBrowserTools() = 0;  // page-agent tool descriptions
    virtual nlohmann::json allWebTools() = 0;      // web_scan tool descriptions
    virtual bool hasTool(const std::string& name) = 0;
    virtual nlohmann::json callBrowserTool(const std::string& name, const nlohmann::json& args) = 0;
    virtual std::optional<browser::WebTool> getWebTool(const std::string& name) = 0;
    virtual nlohmann::json executeInActiveBrowser(const browser::WebTool& tool,
                                                  const std::optional<std::string>& value) = 0;
};

class ShortcutFamily {
public:
    virtual ~ShortcutFamily() = default;
    // {"shortcuts": [names]} on success; anything else lists no shortcut tools.
    virtual nlohmann::json listShortcuts() = 0;
    virtual nlohmann::json runShortcut(const std::string& name, const std::optional<std::string>& input) = 0;
};

struct ToolFamilies {
    std::shared_ptr<ElementToolFamily> elements;
    std::shared_ptr<BrowserToolFamily> browser;
    std::shared_ptr<ShortcutFamily> shortcuts;
    StepRecorder recordStep;
};

// Families with nothing in them: no tools, and the answers a name gets when nothing
// claims it ("no active session" from the session side). Any member left empty in a
// ToolFamilies is filled from these.
ToolFamilies emptyToolFamilies();

}  // namespace velmor::tools
