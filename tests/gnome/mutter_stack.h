#pragma once

#include <string>

namespace velmor::test {

// Why this process is not on the GNOME test desktop; empty once it is. The desktop's
// environment (VELMOR_MUTTER_STACK/environment, written by scripts/mutter-stack-up.sh) is
// taken over before the first test, so the desktop opened later is the GNOME one.
const std::string& mutterStackMissing();

}  // namespace velmor::test
