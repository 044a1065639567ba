#pragma once

#include "automation/ax_element.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velmor::automation {

// Carries out one element tool on its element: press for click, select, toggle and open;
// the text for fill (the argument `value`, a string); the value for set (`value`, a number
// or a string). Nothing on success, else the message for the agent.
std::optional<std::string> performElementAction(const AXElement& element, const nlohmann::json& args);

}  // namespace velmor::automation
