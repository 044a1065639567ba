#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor {

// A-Z lowered; every other byte, UTF-8 included, left as it is. Names, schemes, hosts and
// header fields compare this way whatever the process's locale.
std::string lowerAscii(std::string_view text);

// Without the blanks and line ends at either end.
std::string_view trimmed(std::string_view text);

// The slug rule every generated tool name follows: lower-cased, each run of characters
// other than a-z and 0-9 turned into one "_", no "_" at either end, then cut to
// `maxLength`. Works on bytes: every byte of a multi-byte UTF-8 character is outside a-z
// and 0-9 and joins the run around it, as the character itself would. The page scripts
// keep a copy of this rule (src/browser/js/page_helpers.js); a test holds the two together.
std::string toSlug(std::string_view text, size_t maxLength);

}  // namespace velmor
