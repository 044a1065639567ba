#include "browser/scanned_web_tools.h"

#include "base/tool_description.h"

#include <algorithm>

namespace velmor::browser {

using nlohmann::json;
using WebTools = std::map<std::string, WebTool>;

std::optional<WebTool> ScannedWebTools::get(const std::string& name) const {
    return tools_.withLocked([&](const WebTools& tools) -> std::optional<WebTool> {
        auto it = tools.find(name);
        return it == tools.end() ? std::nullopt : std::optional(it->second);
    });
}

bool ScannedWebTools::replace(std::vector<WebTool> found) {
    WebTools replacement;
    for (auto& tool : found) {
        std::string name = tool.name;
        replacement.insert_or_assign(std::move(name), std::move(tool));
    }
    auto listedAlike = [](const auto& a, const auto& b) {
        return a.first == b.first && a.second.description == b.second.description &&
               a.second.inputSchema == b.second.inputSchema;
    };
    return tools_.withLocked([&](WebTools& tools) {
        bool changed = !std::equal(tools.begin(), tools.end(), replacement.begin(), replacement.end(), listedAlike);
        tools = std::move(replacement);
        return changed;
    });
}

json ScannedWebTools::listing() const {
    return tools_.withLocked([](const WebTools& tools) {
        json list = json::array();
        for (const auto& [name, tool] : tools)
            list.push_back(tool_schema::describeDeferred(tool.name, tool.description, tool.inputSchema));
        return list;
    });
}

}  // namespace velmor::browser
