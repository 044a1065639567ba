#include "platform/linux/x11_capture.h"

#include "platform/linux/png_encoder.h"
#include "platform/linux/x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

namespace velmor::platform {

namespace {

// How long a raised window gets to repaint what was covered.
constexpr auto kRepaintDelay = std::chrono::milliseconds(100);

struct Channel {
    unsigned long mask;
    int shift;
    int bits;
};

Channel channel(unsigned long mask) {
    if (mask == 0) return {0, 0, 8};
    return {mask, std::countr_zero(mask), std::popcount(mask)};
}

uint8_t level(unsigned long pixel, const Channel& c) {
    unsigned long value = (pixel & c.mask) >> c.shift;
    if (c.bits == 8) return static_cast<uint8_t>(value);
    unsigned long top = (1ul << c.bits) - 1;
    return static_cast<uint8_t>(value * 255 / (top ? top : 1));
}

std::vector<uint8_t> rgbOf(XImage* image) {
    int width = image->width, height = image->height;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    Channel red = channel(image->red_mask), green = channel(image->green_mask), blue = channel(image->blue_mask);
    bool hostOrder = (image->byte_order == LSBFirst) == (std::endian::native == std::endian::little);
    uint8_t* out = rgb.data();
    for (int y = 0; y < height; ++y) {
        const char* row = image->data + static_cast<size_t>(y) * image->bytes_per_line;
        for (int x = 0; x < width; ++x) {
            unsigned long pixel;
            if (image->bits_per_pixel == 32 && hostOrder) {
                uint32_t word;
                std::memcpy(&word, row + static_cast<size_t>(x) * 4, 4);
                pixel = word;
            } else {
                pixel = XGetPixel(image, x, y);
            }
            *out++ = level(pixel, red);
            *out++ = level(pixel, green);
            *out++ = level(pixel, blue);
        }
    }
    return rgb;
}

}  // namespace

Result<std::vector<uint8_t>> X11Capture::captureFrontWindow(int32_t pid) {
    const Failure failed = fail("screenshot capture failed");
    Display* display = nullptr;
    // The window to capture: found, and raised when something covers it.
    Window chosen = None;
    bool raised = false;
    x11_.withLocked([&](X11Connection& x11) {
        display = x11.display();
        if (!display) return;
        chosen = frontWindow(x11, pid);
        if (chosen == None) return;
        auto stacking = clientWindows(x11, true);  // bottom to top
        if (stacking.empty() || stacking.back() != chosen) {
            XRaiseWindow(display, chosen);
            XSync(display, False);
            raised = true;
        }
    });
    if (!display) return failed;
    if (chosen == None) return fail("target app window not found (pid " + std::to_string(pid) + ")");
    if (raised) std::this_thread::sleep_for(kRepaintDelay);

    XImage* image = x11_.withLocked([&](X11Connection& x11) -> XImage* {
        if (x11.display() != display) return nullptr;
        Frame frame = describeWindow(x11, chosen).frame;
        // Only what is on the screen can be read; a window partly off it gives its visible part.
        int left = std::max(frame.x, 0), top = std::max(frame.y, 0);
        int right = std::min(frame.x + frame.width, DisplayWidth(display, DefaultScreen(display)));
        int bottom = std::min(frame.y + frame.height, DisplayHeight(display, DefaultScreen(display)));
        if (right <= left || bottom <= top) return nullptr;
        return XGetImage(display, x11.root(), left, top, static_cast<unsigned>(right - left),
                         static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap);
    });
    if (!image) return failed;

    std::vector<uint8_t> rgb = rgbOf(image);
    int width = image->width, height = image->height;
    XDestroyImage(image);
    auto png = encodePng(rgb, width, height);
    if (!png) return failed;
    return std::move(*png);
}

}  // namespace velmor::platform
