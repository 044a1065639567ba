#include "base/wait_bounds.h"

namespace velmor {

std::optional<std::string> waitRefusal(std::chrono::milliseconds asked) {
    if (asked <= kLongestWait) return std::nullopt;
    return "a wait of " + std::to_string(asked.count()) + " ms is longer than the " +
           std::to_string(kLongestWait.count()) + " minutes allowed";
}

std::string shortcutRunCutText() {
    return "the shortcut was stopped after " + std::to_string(kLongestShortcutRun.count()) +
           " minutes, the longest a shortcut may run";
}

}  // namespace velmor
