#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// Text that applications, pages and files hand Velmor is shown to the agent, which may take
// it for instructions or be misled by what it cannot see. Every such text goes through here
// on its way to an answer or a tool list.
namespace velmor::outside_text {

// Characters kept per kind of text; a longer text ends in "..." within the limit.
inline constexpr size_t kLabelLength = 200;
inline constexpr size_t kTitleLength = 256;
inline constexpr size_t kDescriptionLength = 1024;
// The most an answer carrying many outside texts (a session's state, a page scan) may weigh
// as compact JSON.
inline constexpr size_t kAnswerBudget = 256 * 1024;

// The text with nothing that can hide, reorder or forge what the agent reads:
// - line ends, tabs and the other spacing controls (U+2028, U+2029, NEL included) each become
//   one space, so words stay apart and a text never spans lines;
// - the other control characters (C0, DEL, C1, ESC with it), the bidirectional embeddings,
//   overrides and isolates (U+202A-202E, U+2066-2069, U+061C) and the zero-width and
//   invisible characters (U+200B-200F, U+2060-2064, U+FEFF) are removed;
// - bytes that are not UTF-8 become U+FFFD.
// Blanks at either end are dropped.
std::string clean(std::string_view text);

// At most `characters` characters of `text`, the last three "..." when it was longer; never
// splits a UTF-8 sequence.
std::string capped(std::string_view text, size_t characters);

// clean(), then capped().
std::string shown(std::string_view text, size_t characters);
inline std::string label(std::string_view text) { return shown(text, kLabelLength); }
inline std::string title(std::string_view text) { return shown(text, kTitleLength); }
inline std::string description(std::string_view text) { return shown(text, kDescriptionLength); }

// Whether clean() would leave the text as it is.
bool isClean(std::string_view text);

// Keeps `answer` within `budget` bytes of compact JSON by dropping entries from the end of its
// array `listKey`; when any went, `note` says how many. Answers whether it had to cut.
bool fitToBudget(nlohmann::json& answer, const std::string& listKey, size_t budget = kAnswerBudget);

}  // namespace velmor::outside_text
