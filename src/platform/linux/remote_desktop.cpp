#include "platform/linux/remote_desktop.h"

#include <algorithm>

namespace velmor::platform {

const char* notifyMethodOf(const InputEvent& event) {
    switch (event.kind) {
        case InputEvent::Kind::key: return "NotifyKeyboardKeysym";
        case InputEvent::Kind::motion: return "NotifyPointerMotionAbsolute";
        case InputEvent::Kind::button: return "NotifyPointerButton";
        case InputEvent::Kind::axis: return "NotifyPointerAxisDiscrete";
    }
    return "";
}

std::pair<double, double> pointWithin(const Frame& monitor, int x, int y) {
    const int px = std::clamp(x - monitor.x, 0, std::max(monitor.width - 1, 0));
    const int py = std::clamp(y - monitor.y, 0, std::max(monitor.height - 1, 0));
    return {static_cast<double>(px), static_cast<double>(py)};
}

}  // namespace velmor::platform
