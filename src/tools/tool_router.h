#pragma once

#include "base/arguments.h"
#include "tools/tool_answer.h"
#include "tools/tool_families.h"
#include "tools/tool_registry.h"

#include <nlohmann/json.hpp>
#include <string>

namespace velmor::tools {

// The catalogue and the dispatcher: what tools/list shows and where tools/call goes.
class ToolRouter {
public:
    // Members of `families` left empty are filled with the empty families.
    explicit ToolRouter(ToolFamilies families = {});

    // tools/list: the fixed tools, then dynamicTools().
    nlohmann::json allTools() const;
    // Page-agent tools, web tools, element tools and Shortcuts, as they are right now.
    nlohmann::json dynamicTools() const;

    // tools/call: a fixed name goes to its handler, any other name falls through the
    // dynamic families. Answers a result dictionary, or a fixed tool's image.
    ToolAnswer callTool(const std::string& name, const nlohmann::json& args) const;

    // Where the fixed tools' handlers are bound, before serving starts.
    ToolRegistry& registry() { return registry_; }
    const ToolRegistry& registry() const { return registry_; }

private:
    ToolAnswer callFallThrough(const std::string& name, const nlohmann::json& args) const;
    nlohmann::json callShortcutTool(const std::string& name, const Arguments& args) const;

    ToolFamilies families_;
    ToolRegistry registry_;
};

}  // namespace velmor::tools
