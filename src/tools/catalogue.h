#pragma once

#include "tools/tool_families.h"

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::tools {

// Whether a fixed tool's successful calls become steps of the flow being recorded.
enum class FlowStep { notRecorded, recorded };

// One fixed tool as the catalogue declares it: its tools/list entry (name, title,
// description, inputSchema, annotations) and whether its calls are recorded. The handler
// that carries it out is bound in a ToolRegistry.
struct FixedToolDeclaration {
    FixedToolDeclaration(nlohmann::json entry, FlowStep step = FlowStep::notRecorded)
        : entry(std::move(entry)), step(step) {}

    nlohmann::json entry;
    FlowStep step;
};

// The fixed tools, in catalogue order; every other list of them derives from this one.
const std::vector<FixedToolDeclaration>& fixedToolDeclarations();

// The entries of fixedToolDeclarations().
nlohmann::json staticTools();
// staticTools() serialised once: the array's elements, comma-separated, without brackets.
const std::string& staticToolsText();

// The names of the fixed tools, in catalogue order.
const std::vector<std::string>& fixedToolNames();

nlohmann::json elementToolDescription(const ElementTool& element);

// What every Shortcut's tool name starts with; no other kind of tool has such a name.
inline constexpr std::string_view kShortcutToolPrefix = "shortcut_";
// "shortcut_" + the slug of a Shortcut's name: lower-cased, every run of characters
// outside a-z and 0-9 turned into one "_", leading and trailing "_" stripped, cut to 50.
std::string shortcutToolName(const std::string& shortcutName);

// One Shortcut as a tool.
struct ShortcutTool {
    std::string toolName;
    std::string shortcutName;
};

// The Shortcuts listed, in order, as tools named by shortcutToolName(); a Shortcut whose tool
// name an earlier one already has ("Café Visit", then "café visit!") gets the next free
// "_2", "_3", ...
std::vector<ShortcutTool> shortcutTools(const std::vector<std::string>& shortcutNames);

// Its description shows the Shortcut's name sanitised: it comes from a file name.
nlohmann::json shortcutToolDescription(const ShortcutTool& shortcut);

// The names under "shortcuts" when it is an array of strings; empty otherwise.
std::vector<std::string> shortcutNames(const nlohmann::json& listing);

}  // namespace velmor::tools
