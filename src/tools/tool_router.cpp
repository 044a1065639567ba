#include "tools/tool_router.h"

#include "base/json_fields.h"
#include "tools/catalogue.h"
#include "tools/tool_metadata.h"

#include <stdexcept>
#include <unordered_set>

namespace velmor::tools {

using nlohmann::json;

ToolRouter::ToolRouter(ToolFamilies families) : families_(std::move(families)) {
    ToolFamilies empty = emptyToolFamilies();
    if (!families_.elements) families_.elements = empty.elements;
    if (!families_.browser) families_.browser = empty.browser;
    if (!families_.shortcuts) families_.shortcuts = empty.shortcuts;
    if (!families_.recordStep) families_.recordStep = empty.recordStep;

    // Until a family's handler is plugged in, its tools say so plainly.
    for (const auto& name : fixedToolNames()) {
        handlers_[name] = [name](const Arguments&) { return errorResult(name + " is not available yet"); };
    }
}

void ToolRouter::setHandler(const std::string& fixedName, ToolHandler handler) {
    auto it = handlers_.find(fixedName);
    if (it == handlers_.end()) throw std::invalid_argument("not a fixed tool: " + fixedName);
    it->second = std::move(handler);
}

json ToolRouter::allTools() const {
    json tools = staticTools();
    for (auto& t : dynamicTools()) tools.push_back(std::move(t));
    return tools;
}

json ToolRouter::dynamicTools() const {
    json tools = json::array();
    // Each name is listed once, for the tool a call of it reaches (callFallThrough): a
    // "shortcut_" name only for a shortcut, else the first family in this order.
    std::unordered_set<std::string> listed(fixedToolNames().begin(), fixedToolNames().end());
    auto add = [&tools, &listed](json tool, DynamicToolKind kind) {
        const std::string* name = tool.is_object() ? stringField(tool, "name") : nullptr;
        if (!name || (name->starts_with("shortcut_") != (kind == DynamicToolKind::Shortcut))) return;
        if (!listed.insert(*name).second) return;
        annotateDynamicTool(tool, kind);
        tools.push_back(std::move(tool));
    };
    for (auto& t : families_.browser->allBrowserTools()) add(std::move(t), DynamicToolKind::PageAgent);
    for (auto& t : families_.browser->allWebTools()) add(std::move(t), DynamicToolKind::WebScan);
    for (const auto& element : families_.elements->elementTools())
        add(elementToolDescription(element), DynamicToolKind::Element);
    for (const auto& shortcut : shortcutTools(shortcutNames(families_.shortcuts->listShortcuts())))
        add(shortcutToolDescription(shortcut), DynamicToolKind::Shortcut);
    return tools;
}

json ToolRouter::callTool(const std::string& name, const json& args) const {
    // Arguments that are not an object are read as an empty object.
    static const json kNoArguments = json::object();
    const json& given = args.is_object() ? args : kNoArguments;
    if (auto it = handlers_.find(name); it != handlers_.end()) {
        if (auto wrongType = argumentTypeError(given, *fixedToolSchema(name))) return errorResult(*wrongType);
        return it->second(Arguments(given));
    }
    return callFallThrough(name, given);
}

json ToolRouter::callFallThrough(const std::string& name, const json& args) const {
    Arguments arguments(args);
    if (name.starts_with("shortcut_")) return callShortcutTool(name, arguments);

    auto& browser = *families_.browser;
    if (browser.hasTool(name)) {
        json result = browser.callBrowserTool(name, args);
        if (!isFailure(result)) recordStep({.toolName = name, .args = args, .context = "browser-ws"});
        return result;
    }
    if (auto webTool = browser.getWebTool(name)) {
        if (auto wrong = webToolValueError(webTool->actionType, args)) return errorResult(*wrong);
        json result = browser.executeInActiveBrowser(*webTool, arguments.stringOrList("value"));
        if (!isFailure(result))
            recordStep({.toolName = name, .args = args, .pageUrl = webTool->urlPattern,
                        .context = "browser-dom:" + webTool->selector});
        return result;
    }
    // A name nothing knows, while a page scan left web tools and no application's elements
    // are scanned, is taken for a web tool its page no longer has.
    if (!browser.allWebTools().empty() && families_.elements->elementTools().empty())
        return errorResult(webToolNotFound(name));
    return families_.elements->performAction(name, args);
}

json ToolRouter::callShortcutTool(const std::string& name, const Arguments& args) const {
    auto& shortcuts = *families_.shortcuts;
    for (const auto& shortcut : shortcutTools(shortcutNames(shortcuts.listShortcuts()))) {
        if (shortcut.toolName == name) return shortcuts.runShortcut(shortcut.shortcutName, args.string("input"));
    }
    return errorResult("shortcut not found for tool: " + name);
}

void ToolRouter::recordStep(const StepRecord& step) const { families_.recordStep(step); }

}  // namespace velmor::tools
