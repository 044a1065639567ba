#pragma once

#include "tools/tool_families.h"

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::tools {

// The 40 fixed tools, in catalogue order.
nlohmann::json staticTools();
// staticTools() serialised once: the array's elements, comma-separated, without brackets.
const std::string& staticToolsText();

// The input schema of the fixed tool `name`; null for any other name.
const nlohmann::json* fixedToolSchema(std::string_view name);

// The names of the fixed tools, in dispatch order.
const std::vector<std::string>& fixedToolNames();

nlohmann::json elementToolDescription(const ElementTool& element);

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
