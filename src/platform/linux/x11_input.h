#pragma once

#include "platform/input.h"
#include "platform/linux/x11_display.h"

#include <X11/Xlib.h>

#include <chrono>
#include <vector>

namespace velmor::platform {

// Keyboard and pointer events through the XTEST extension on the process's X connection.
// A character that no key produces is typed through a spare key code (one the keyboard
// leaves empty), bound to it for the moment and emptied again once typing is over.
class X11Input final : public Input {
public:
    explicit X11Input(X11Display& x11) : x11_(x11) {}

    std::optional<std::string> typeCharacters(const std::vector<std::u32string>& characters,
                                              std::chrono::milliseconds pace,
                                              const std::function<bool()>& stillAimed) override;
    std::optional<std::string> pressKey(const Key& key, const Modifiers& modifiers) override;
    std::optional<std::string> movePointer(int x, int y) override;
    std::optional<std::string> setButton(MouseButton button, bool down) override;
    std::optional<std::string> scroll(int deltaY, int deltaX) override;

private:
    // Called with the display lock held.
    std::optional<std::string> ready(Display*& display);
    void clickButton(Display* display, unsigned int button, int times);

    X11Display& x11_;
};

}  // namespace velmor::platform
