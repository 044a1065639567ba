#pragma once

#include <cstddef>
#include <string_view>

#include "base/result.h"

namespace velmor {

// The longest API key or token Velmor puts into an HTTP header. Real keys are well under
// a hundred characters; anything this long was pasted by mistake or crafted.
constexpr size_t kMaxHeaderValueBytes = 512;

// Whether `value` may become an HTTP header value: printable ASCII only, at most
// kMaxHeaderValueBytes. A CR or LF would end the header and let whoever chose the value
// add headers or a whole second request; other control and non-ASCII bytes are read
// differently by different servers. The error completes a sentence about the value
// ("api_key " + error). Keys are checked when they are accepted and again when a request
// is built, so a key that reached a file some other way never reaches the wire.
Result<void> checkHeaderValue(std::string_view value);

}  // namespace velmor
