#pragma once

#include "base/text.h"
#include "base/utf8.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor::automation {

// "AXButton" -> "Button": the role as words show it, with every "AX" taken out.
std::string withoutAX(std::string_view role);

}  // namespace velmor::automation
