#pragma once

#include "platform/element_role.h"

#include <string>
#include <string_view>

namespace velmor::automation {

// The words answers name a role in, as agents have always read them: "AXButton" in
// focused_element, "Button" in the hierarchy summary, "button" in a listed element.
std::string roleName(platform::ElementRole role);
std::string_view roleWords(platform::ElementRole role);

}  // namespace velmor::automation
