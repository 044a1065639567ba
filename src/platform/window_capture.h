#pragma once

#include <cstdint>
#include <vector>

namespace velmor::platform {

// What a window capture gave.
struct WindowImage {
    enum class Outcome { captured, noWindow, failed };
    Outcome outcome = Outcome::failed;
    std::vector<uint8_t> png;  // the PNG file's bytes when captured
};

class WindowCapture {
public:
    virtual ~WindowCapture() = default;

    // The process's frontmost normal window on screen, decorations included, as a PNG
    // image of the window's size.
    virtual WindowImage captureFrontWindow(int32_t pid) = 0;
};

}  // namespace velmor::platform
