#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string_view>

namespace velmor {

// How deeply arrays and objects may nest in any JSON text that comes from outside (HTTP
// bodies, WebSocket frames, DevTools answers, stored step arguments, the bridge's lines and
// answers). Parsing a deep text is harmless, but copying, comparing or serialising the value
// recurses once per level, so a text 100,000 levels deep would exhaust the stack later, far
// from where it came in.
inline constexpr size_t kMaxJsonDepth = 64;

// json::parse without exceptions for text from outside: text that is not JSON (strict UTF-8
// included) or nests deeper than kMaxJsonDepth yields a discarded value; `tooDeep` tells the
// two apart. Parsing stops at the first level too many, so a deep text costs no more than
// its first levels.
nlohmann::json parseBoundedJson(std::string_view text, bool* tooDeep = nullptr);

}  // namespace velmor
