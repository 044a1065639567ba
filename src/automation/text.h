#pragma once

#include "base/text.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor::automation {

// The first `characters` characters of UTF-8 text, never cutting a character in two.
std::string utf8Prefix(std::string_view text, size_t characters);

// "AXButton" -> "Button": the role as words show it, with every "AX" taken out.
std::string withoutAX(std::string_view role);

}  // namespace velmor::automation
