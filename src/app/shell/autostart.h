#pragma once

#include "base/result.h"

#include <string>

// "Start at Login": an XDG autostart entry that the desktop session runs when the user
// logs in.
namespace velmor::shell {

bool startsAtLogin();
// Writes the entry, starting `program`, or removes it. Removing an absent entry succeeds.
Result<void> setStartAtLogin(bool enabled, const std::string& program);

}  // namespace velmor::shell
