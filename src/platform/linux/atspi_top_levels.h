#pragma once

#include "platform/linux/atspi_bus.h"
#include "platform/windows.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// A top-level window (frame, window or dialog) as the application tells it on the
// accessibility bus.
struct AtspiTopLevel {
    std::string busName;
    std::string path;
    int32_t pid = 0;
    std::optional<std::string> name;
    Frame extents;          // as the toolkit reports them (under Wayland: from the window's origin)
    bool visible = false;   // mapped
    bool active = false;    // has the keyboard focus
};

// The top-levels of the application on `busName`, in its order, each asked for its role,
// states, name and extents at once (one round trip for them all). Runs with the bus lock held.
std::vector<AtspiTopLevel> topLevelsOf(AtspiConnection& atspi, const std::string& busName, int32_t pid);

}  // namespace velmor::platform
