#include "tools/tool_router.h"

#include "base/json_fields.h"
#include "tools/catalogue.h"
#include "tools/tool_metadata.h"

#include <unordered_set>

namespace velmor::tools {

using nlohmann::json;

namespace {

// Members of `families` left empty are filled with the empty families.
ToolFamilies completed(ToolFamilies families) {
    ToolFamilies empty = emptyToolFamilies();
    if (!families.elements) families.elements = empty.elements;
    if (!families.browser) families.browser = empty.browser;
    if (!families.shortcuts) families.shortcuts = empty.shortcuts;
    if (!families.recordStep) families.recordStep = empty.recordStep;
    return families;
}

}  // namespace

ToolRouter::ToolRouter(ToolFamilies families)
    : families_(completed(std::move(families))), registry_(families_) {}

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
        if (!name || (name->starts_with(kShortcutToolPrefix) != (kind == DynamicToolKind::Shortcut))) return;
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

ToolAnswer ToolRouter::callTool(const std::string& name, const json& args) const {
    // Arguments that are not an object are read as an empty object.
    static const json kNoArguments = json::object();
    const json& given = args.is_object() ? args : kNoArguments;
    if (registry_.isFixed(name)) return registry_.callFixed(name, given);
    return callFallThrough(name, given);
}

ToolAnswer ToolRouter::callFallThrough(const std::string& name, const json& args) const {
    Arguments arguments(args);
    if (name.starts_with(kShortcutToolPrefix))
        return registry_.run(name, [&] { return callShortcutTool(name, arguments); }, std::nullopt);

    auto& browser = *families_.browser;
    if (browser.hasTool(name))
        return registry_.run(name, [&] { return browser.callBrowserTool(name, args); },
                             StepRecord{.toolName = name, .args = args, .context = "browser-ws"});
    if (auto webTool = browser.getWebTool(name)) {
        if (auto valueFits = checkWebToolValue(webTool->actionType, args); !valueFits) return errorResult(valueFits.error());
        return registry_.run(name, [&] { return browser.executeInActiveBrowser(*webTool, arguments.stringOrList("value")); },
                             StepRecord{.toolName = name, .args = args, .pageUrl = webTool->urlPattern.value_or(""),
                                        .context = "browser-dom:" + webTool->selector});
    }
    // A name nothing knows, while a page scan left web tools and no application's elements
    // are scanned, is taken for a web tool its page no longer has.
    if (!browser.allWebTools().empty() && families_.elements->elementTools().empty())
        return errorResult(webToolNotFound(name));
    // The step is only known once the action took, with the window it left behind.
    return registry_.run(name, [&] { return families_.elements->performAction(name, args, registry_.recordStep()); },
                         std::nullopt);
}

json ToolRouter::callShortcutTool(const std::string& name, const Arguments& args) const {
    auto& shortcuts = *families_.shortcuts;
    for (const auto& shortcut : shortcutTools(shortcutNames(shortcuts.listShortcuts()))) {
        if (shortcut.toolName == name) return shortcuts.runShortcut(shortcut.shortcutName, args.string("input"));
    }
    return errorResult("shortcut not found for tool: " + name);
}

}  // namespace velmor::tools
