#pragma once

#include "automation/scanned_element.h"
#include "platform/applications.h"

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::automation {

// What the agent last saw of one element tool.
struct ToolState {
    std::optional<std::string> value;
    bool enabled = false;
    bool operator==(const ToolState&) const = default;
};

// Tool name -> that element's state, as the agent last saw it.
using ToolStates = std::map<std::string, ToolState>;

// What the agent last saw of the window: its tools and the texts its labels showed.
struct SeenState {
    ToolStates tools;
    std::vector<std::string> shownTexts;
};

// {"tool", "role", "title", "enabled", "value"}: one element as the agent sees it.
nlohmann::json elementEntry(const ScannedElement& element);

// What a state response leaves the agent with: a later element of the same name overwrites
// an earlier one.
SeenState seenState(const ScanResult& scan);

// The full state: app, bundle_id, window_title, focused_element, element_count,
// interactive_elements, available_tools, hierarchy_summary.
nlohmann::json stateResponse(const ScanResult& scan, const platform::RunningApplication& app);

// What changed since `previous`: window_title, focused_element, element_count,
// available_tools and either "diff": "no changes" or the non-empty ones of added, removed,
// changed and new_text. A changed tool carries old_value and new_value, and old_enabled and
// new_enabled when it became available or unavailable; new_text holds what labels show now
// that they did not before (a result, a status line), at most a screenful. `previous` becomes
// what the scan shows (the first element of a name counts).
nlohmann::json diffResponse(const ScanResult& scan, SeenState& previous);

}  // namespace velmor::automation
