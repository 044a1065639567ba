#pragma once

#include <string_view>

namespace velmor::bridge {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no cut-off
// sequences. An answer that fails this is not handed to the client as text.
bool isValidUtf8(std::string_view bytes);

}  // namespace velmor::bridge
