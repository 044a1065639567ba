#pragma once

#include "platform/input.h"
#include "platform/linux/x11_display.h"
#include "platform/linux/x11_keyboard.h"

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

    Result<void> typeCharacters(const std::vector<std::u32string>& characters,
                                const std::function<bool()>& stillAimed) override;
    Result<void> pressKey(const Key& key, const Modifiers& modifiers) override;
    Result<void> movePointer(int x, int y) override;
    Result<void> setButton(MouseButton button, bool down) override;
    Result<void> scroll(int deltaY, int deltaX) override;

private:
    // The display, when it takes XTEST events.
    static Result<void> readyDisplay(X11Connection& x11, Display*& display);
    static void clickButton(Display* display, unsigned int button, int times);
    // Once the keys struck with borrowed codes have been read, empties the codes again.
    void restoreAfterSettling(KeyboardBindings& bindings, Display* display);

    X11Display& x11_;
};

}  // namespace velmor::platform
