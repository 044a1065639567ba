#pragma once

#include "platform/input.h"

#include <cstdint>

namespace velmor::platform {

// The key symbol (X11 and xkbcommon share their numbering) of a key to press.
uint32_t keySymbolOf(const Key& key);
// The key symbol that types the character (line breaks, tabs and backspace as their keys);
// NoSymbol (0) for a character no key types.
uint32_t keySymbolTyping(char32_t c);

}  // namespace velmor::platform
