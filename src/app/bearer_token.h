#pragma once

#include <string>

namespace velmor {

class UserDefaults;

// The token stored in the defaults, or a new one (a random version-4 UUID, lower-case,
// without hyphens: 32 hexadecimal digits) stored there first. An empty stored value
// counts as none.
std::string loadOrCreateToken(UserDefaults& defaults);

}  // namespace velmor
