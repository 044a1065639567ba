#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor {

// How far `text` from `from` on is valid UTF-8: the end of the last complete character,
// and whether an invalid sequence (not just an unfinished one at the end) was met. Strict:
// overlong forms, surrogates and code points past U+10FFFF are invalid.
struct Utf8Scan {
    size_t validUpTo;
    bool invalid;
};
Utf8Scan scanUtf8(const std::string& text, size_t from);

// The first `characters` characters of UTF-8 text, never cutting a character in two.
std::string utf8Prefix(std::string_view text, size_t characters);

}  // namespace velmor
