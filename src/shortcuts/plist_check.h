#pragma once

#include <cstddef>
#include <string_view>

#include "base/result.h"

namespace velmor::shortcuts {

// Deeper nesting than this is no parameter a workflow action takes.
constexpr int kMaxPlistDepth = 32;
// Objects in the tree a property list unfolds into, each shared object counted wherever it
// is referred to: the parser copies it there. Shortcuts hold a few thousand.
constexpr size_t kMaxPlistObjects = 200'000;

// Checks a binary property list ("bplist00") the way the property-list parser would read
// it, before it does: the parser takes offsets, counts and references from the file as
// they are and aborts the whole program on some inconsistencies (a NUL inside a string).
// Succeeds only when the trailer, the offset table and every object reachable from the top
// lie inside the file; references form no cycle; nesting is at most kMaxPlistDepth deep and
// the unfolded tree at most kMaxPlistObjects large; every object is a kind a shortcut holds
// (booleans, integers, reals, dates, data, strings, arrays, dictionaries with string keys);
// and strings are NUL-free ASCII or well-formed UTF-16. The error says what is wrong.
Result<void> checkBinaryPlist(std::string_view bytes);

// Checks the text of an XML property list for what the parser would turn into a string it
// aborts on or that is not text: NUL bytes, bytes that are not UTF-8, and character
// references to NUL, to surrogates or past U+10FFFF.
Result<void> checkXmlPlist(const std::string& text);

}  // namespace velmor::shortcuts
