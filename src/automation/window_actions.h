#pragma once

#include "base/result.h"
#include "platform/windows.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velmor::automation {

// The target's windows in order, each with `index`, `title` (when it has one) and its
// frame as `x`, `y`, `width`, `height` in screen coordinates.
nlohmann::json getWindows(platform::Windows& windows, int32_t pid);

// Moves (x and y together) and resizes (width and height together) the target's focused
// window; a lone coordinate or dimension is ignored. "no focused window" when it has none.
Result<void> setWindowFrame(platform::Windows& windows, int32_t pid, std::optional<int64_t> x,
                            std::optional<int64_t> y, std::optional<int64_t> width, std::optional<int64_t> height);

}  // namespace velmor::automation
