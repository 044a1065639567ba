#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor::automation {

// The first `characters` characters of UTF-8 text, never cutting a character in two.
std::string utf8Prefix(std::string_view text, size_t characters);

// A-Z lowered; every other byte, UTF-8 included, left as it is.
std::string lowerAscii(std::string_view text);

// "AXButton" -> "Button": the role as words show it, with every "AX" taken out.
std::string withoutAX(std::string_view role);

}  // namespace velmor::automation
