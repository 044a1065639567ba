#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

namespace velmor::bridge {

// How deeply the JSON the bridge takes in may nest. Copying, comparing and writing JSON
// recurse once per level, so a line or an answer of a few hundred kilobytes of brackets
// would otherwise exhaust the stack.
inline constexpr size_t kMaxJsonDepth = 64;

// The JSON value of `text`; nothing when it is not JSON (strict UTF-8 included) or nests
// deeper than kMaxJsonDepth. `tooDeep` tells the two apart.
std::optional<nlohmann::json> parseBoundedJson(std::string_view text, bool* tooDeep = nullptr);

}  // namespace velmor::bridge
