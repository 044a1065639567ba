#pragma once

#include "platform/input.h"

#include <cstdint>

namespace velmor::platform {

// The key symbol (X11 and xkbcommon share their numbering) of a key to press.
uint32_t keySymbolOf(const Key& key);

}  // namespace velmor::platform
