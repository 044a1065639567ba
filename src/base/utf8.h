#pragma once

#include <cstddef>
#include <optional>
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

// The character that starts at `at`, moving `at` past it; nullopt (and `at` one byte on)
// for a byte that does not start a complete, valid sequence. `at` must be inside `text`.
std::optional<char32_t> nextCodePoint(std::string_view text, size_t& at);

// Appends the UTF-8 form of a valid code point.
void appendUtf8(std::string& out, char32_t point);

// The first `characters` characters of UTF-8 text, never cutting a character in two.
std::string utf8Prefix(std::string_view text, size_t characters);

}  // namespace velmor
