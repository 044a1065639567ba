#pragma once

#include <string>

namespace velmor {

class UserDefaults;

// The bearer token, kept in one place: the "token" key of the shared config file
// (~/.velmor/config.json, mode 0600), where the bridge reads it. A token an earlier version
// left in the defaults is moved there first, so clients set up with it keep working; else
// the stored token, else a new one (a random version-4 UUID, lower-case, without hyphens: 32
// hexadecimal digits) stored there. An empty stored value counts as none.
std::string loadOrCreateToken(const std::string& sharedConfigFile, UserDefaults& defaults);

}  // namespace velmor
