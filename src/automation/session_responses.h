#pragma once

#include "automation/ax_element.h"
#include "platform/applications.h"

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velmor::automation {

// Tool name -> that element's value, as the agent last saw it.
using ToolValues = std::map<std::string, std::optional<std::string>>;

// {"tool", "role", "title", "enabled", "value"}: one element as the agent sees it.
nlohmann::json elementEntry(const AXElement& element);

// The values a state response leaves the agent with: a later element of the same name
// overwrites an earlier one.
ToolValues stateToolValues(const ScanResult& scan);

// The full state: app, bundle_id, window_title, focused_element, element_count,
// interactive_elements, available_tools, hierarchy_summary.
nlohmann::json stateResponse(const ScanResult& scan, const platform::RunningApplication& app);

// What changed since `previous`: window_title, focused_element, element_count,
// available_tools and either "diff": "no changes" or the non-empty ones of added, removed,
// changed. `previous` becomes the scan's values (the first element of a name counts).
nlohmann::json diffResponse(const ScanResult& scan, ToolValues& previous);

}  // namespace velmor::automation
