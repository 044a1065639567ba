#include "tools/tool_families.h"

#include "base/arguments.h"

namespace velmor::tools {

Result<void> checkWebToolValue(const std::string& actionType, const nlohmann::json& args) {
    if (!args.is_object()) return succeeded();
    auto value = args.find("value");
    if (value == args.end() || value->is_null() || value->is_string()) return succeeded();
    if (!value->is_array() || actionType != "select") return fail("'value' must be a string");
    if (value->empty() || !Arguments(args).stringArray("value")) return fail("'value' must be a string or a list of strings");
    return succeeded();
}

namespace {

class NoElementTools final : public ElementToolFamily {
public:
    std::vector<ElementTool> elementTools() override { return {}; }
    nlohmann::json performAction(const std::string&, const nlohmann::json&, const StepRecorder&) override {
        return errorResult("no active session");
    }
};

class NoBrowserTools final : public BrowserToolFamily {
public:
    nlohmann::json allBrowserTools() override { return nlohmann::json::array(); }
    nlohmann::json allWebTools() override { return nlohmann::json::array(); }
    bool hasTool(const std::string&) override { return false; }
    nlohmann::json callBrowserTool(const std::string& name, const nlohmann::json&) override {
        return errorResult("tool '" + name + "' not found in any browser session");
    }
    std::optional<browser::WebTool> getWebTool(const std::string&) override { return std::nullopt; }
    nlohmann::json executeInActiveBrowser(const browser::WebTool&, const std::optional<std::string>&) override {
        return errorResult("no browser available");
    }
};

class NoShortcuts final : public ShortcutFamily {
public:
    nlohmann::json listShortcuts() override { return {{"shortcuts", nlohmann::json::array()}}; }
    nlohmann::json runShortcut(const std::string& name, const std::optional<std::string>&) override {
        return errorResult("shortcut '" + name + "' not found");
    }
};

}  // namespace

ToolFamilies emptyToolFamilies() {
    return {std::make_shared<NoElementTools>(), std::make_shared<NoBrowserTools>(), std::make_shared<NoShortcuts>(),
            [](const StepRecord&) {}};
}

}  // namespace velmor::tools
