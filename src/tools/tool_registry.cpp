#include "tools/tool_registry.h"

#include "base/error_result.h"
#include "base/log.h"

#include <exception>
#include <stdexcept>

namespace velmor::tools {

using nlohmann::json;

ToolRegistry::ToolRegistry(const ToolFamilies& families)
    : families_(families), toolsChangedPush_(kToolsChangedInterval, [this] {
          auto listener = onToolsChanged_.withLocked([](const std::function<void()>& set) { return set; });
          if (listener) listener();
      }) {
    for (const auto& declaration : fixedToolDeclarations())
        fixed_.emplace(declaration.entry["name"].get<std::string>(), FixedTool{declaration, {}});
}

void ToolRegistry::handle(std::string_view name, ToolHandler handler) {
    auto it = fixed_.find(name);
    if (it == fixed_.end()) throw std::invalid_argument("not a fixed tool: " + std::string(name));
    it->second.handler = std::move(handler);
}

Result<void> ToolRegistry::checkComplete() const {
    std::string unhandled;
    for (const auto& name : fixedToolNames())
        if (!fixed_.find(name)->second.handler) unhandled += (unhandled.empty() ? "" : ", ") + name;
    if (!unhandled.empty()) return fail("fixed tools without a handler: " + unhandled);
    return succeeded();
}

bool ToolRegistry::isFixed(std::string_view name) const { return fixed_.contains(name); }

ToolAnswer ToolRegistry::callFixed(const std::string& name, const json& args) const {
    const FixedTool& tool = fixed_.find(name)->second;
    if (auto typesFit = checkArgumentTypes(args, tool.declaration.entry["inputSchema"]); !typesFit)
        return errorResult(typesFit.error());
    // Only a registry wired in part (a test's) has such tools: the application refuses to
    // start with one.
    if (!tool.handler) return errorResult(name + " is not available yet");
    std::optional<StepRecord> step;
    if (tool.declaration.step == FlowStep::recorded) step = StepRecord{.toolName = name, .args = args};
    return run(name, [&] { return tool.handler(Arguments(args)); }, step);
}

ToolAnswer ToolRegistry::run(const std::string& name, const std::function<ToolAnswer()>& call,
                             const std::optional<StepRecord>& step) const {
    ToolAnswer answer = json();
    try {
        answer = call();
    } catch (const std::exception& error) {
        // A fault in one call must not end the worker, nor the calls of other clients.
        Log::error("tools", name + " failed: " + error.what());
        return errorResult(name + " failed: " + error.what());
    }
    if (step && !answer.failed()) families_.recordStep(*step);
    return answer;
}

void ToolRegistry::toolsChanged() { toolsChangedPush_.fire(); }

void ToolRegistry::setOnToolsChanged(std::function<void()> listener) {
    onToolsChanged_.withLocked([&](std::function<void()>& set) { set = std::move(listener); });
}

bool ToolRegistry::takenBefore(const std::string& name, DynamicToolKind asking) const {
    // The kinds that claim a name before page agents' tools, first to last.
    if (isFixed(name)) return true;
    if (asking == DynamicToolKind::Element) return false;
    if (families_.elements->hasElementTool(name)) return true;
    if (asking == DynamicToolKind::WebScan) return false;
    if (families_.browser->getWebTool(name)) return true;
    if (asking == DynamicToolKind::Shortcut) return false;
    return name.starts_with(kShortcutToolPrefix);
}

}  // namespace velmor::tools
