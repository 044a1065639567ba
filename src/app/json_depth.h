#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string_view>

namespace velmor {

// How deeply arrays and objects may nest in any JSON text that comes from outside (HTTP
// bodies, WebSocket frames, DevTools answers, stored step arguments). Parsing a deep text is
// harmless, but copying, comparing or serialising the value recurses once per level, so a
// text 100,000 levels deep would exhaust the stack later, far from where it came in.
inline constexpr size_t kMaxJsonDepth = 64;

// True when no array or object in `text` lies more than `limit` levels deep. One pass over
// the text, without building anything; brackets inside strings do not count.
bool jsonDepthWithin(std::string_view text, size_t limit = kMaxJsonDepth);

// json::parse without exceptions for text from outside: a text nested deeper than the limit
// yields a discarded value, exactly as unparsable text does.
nlohmann::json parseBoundedJson(std::string_view text);

}  // namespace velmor
