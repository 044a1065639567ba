#pragma once

#include "base/result.h"

#include <chrono>
#include <string>

namespace velmor {

// How long an agent may make Velmor wait. A wait holds one of the few tool-call workers (and
// in a shortcut, its child process) for all of its length, so no argument may ask for more.
inline constexpr std::chrono::minutes kLongestWait{10};
// A whole shortcut run, whatever its steps add up to; it is stopped there.
inline constexpr std::chrono::minutes kLongestShortcutRun{30};

// Whether a wait of `asked` may go ahead; refused as "a wait of 3600000 ms is longer than the
// 10 minutes allowed".
Result<void> checkWaitLength(std::chrono::milliseconds asked);

// "the shortcut was stopped after 30 minutes, the longest a shortcut may run" (`limit` in
// whole minutes, else seconds).
std::string shortcutRunCutText(std::chrono::milliseconds limit = kLongestShortcutRun);

}  // namespace velmor
