#include "automation/window_actions.h"

#include "base/outside_text.h"

#include <algorithm>
#include <limits>

namespace velmor::automation {

namespace {

int screenInt(int64_t value) {
    return static_cast<int>(
        std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

nlohmann::json getWindows(platform::Windows& windows, int32_t pid) {
    nlohmann::json list = nlohmann::json::array();
    int index = 0;
    for (const auto& window : windows.windowsOf(pid)) {
        nlohmann::json entry = {{"index", index++},
                                {"x", window.frame.x},
                                {"y", window.frame.y},
                                {"width", window.frame.width},
                                {"height", window.frame.height}};
        if (window.title) entry["title"] = outside_text::title(*window.title);
        list.push_back(std::move(entry));
    }
    return list;
}

Result<void> setWindowFrame(platform::Windows& windows, int32_t pid, std::optional<int64_t> x,
                            std::optional<int64_t> y, std::optional<int64_t> width, std::optional<int64_t> height) {
    auto focused = windows.focusedWindowOf(pid);
    if (!focused) return fail("no focused window");
    platform::FrameChange change;
    if (x && y) {
        change.x = screenInt(*x);
        change.y = screenInt(*y);
    }
    if (width && height) {
        change.width = screenInt(*width);
        change.height = screenInt(*height);
    }
    if (change.x || change.width) return windows.changeFrame(focused->id, change);
    return succeeded();
}

}  // namespace velmor::automation
