#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmor::automation {

// UTF-8 text split into the characters a reader sees: a letter with its combining marks,
// an emoji with its modifiers and joined parts, a flag, CR LF. Each is its code points.
// Bytes that are not UTF-8 count as U+FFFD each.
std::vector<std::u32string> userCharacters(std::string_view utf8);

}  // namespace velmor::automation
