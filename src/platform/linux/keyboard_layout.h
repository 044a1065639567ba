#pragma once

#include <cstdint>

namespace velmor::platform {

// Whether the keyboard layout a GNOME session types with by default (xkbcommon's default
// layout, as XKB_DEFAULT_LAYOUT sets it, else "us") has a key, at any level of its first
// group, for the key symbol. A layout chosen in GNOME's settings may have more.
bool layoutHasKeyFor(uint32_t symbol);

}  // namespace velmor::platform
