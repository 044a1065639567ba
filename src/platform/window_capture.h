#pragma once

#include "base/result.h"

#include <cstdint>
#include <vector>

namespace velmor::platform {

class WindowCapture {
public:
    virtual ~WindowCapture() = default;

    // The process's frontmost normal window on screen, decorations included, as a PNG
    // image of the window's size: the PNG file's bytes. Fails with "target app window not
    // found (pid <pid>)" when the process shows no such window, else "screenshot capture failed".
    virtual Result<std::vector<uint8_t>> captureFrontWindow(int32_t pid) = 0;
};

}  // namespace velmor::platform
