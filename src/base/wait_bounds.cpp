#include "base/wait_bounds.h"

namespace velmor {

Result<void> checkWaitLength(std::chrono::milliseconds asked) {
    if (asked <= kLongestWait) return succeeded();
    return fail("a wait of " + std::to_string(asked.count()) + " ms is longer than the " +
                std::to_string(kLongestWait.count()) + " minutes allowed");
}

std::string shortcutRunCutText(std::chrono::milliseconds limit) {
    bool wholeMinutes = limit % std::chrono::minutes(1) == std::chrono::milliseconds(0);
    std::string length = wholeMinutes ? std::to_string(std::chrono::duration_cast<std::chrono::minutes>(limit).count()) + " minutes"
                                      : std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) + " seconds";
    return "the shortcut was stopped after " + length + ", the longest a shortcut may run";
}

}  // namespace velmor
