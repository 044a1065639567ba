#include "platform/linux/x11_input.h"

#include "platform/linux/key_symbols.h"
#include "platform/linux/x11_keyboard.h"
#include "platform/linux/wheel_notches.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <optional>
#include <cstdlib>
#include <thread>

namespace velmor::platform {

namespace {

// Core pointer buttons: 4 and 5 turn the wheel up and down, 6 and 7 tilt it left and right.
constexpr unsigned int kLeftButton = 1, kRightButton = 3;
constexpr unsigned int kWheelUp = 4, kWheelDown = 5, kWheelLeft = 6, kWheelRight = 7;
// The pause after each typed character: the pace typing on X11 has always kept, which
// applications there are known to keep up with.
constexpr auto kTypingPace = std::chrono::milliseconds(20);

void strike(Display* display, const KeyStroke& stroke) {
    KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    if (stroke.shift) XTestFakeKeyEvent(display, shift, True, CurrentTime);
    XTestFakeKeyEvent(display, stroke.code, True, CurrentTime);
    XTestFakeKeyEvent(display, stroke.code, False, CurrentTime);
    if (stroke.shift) XTestFakeKeyEvent(display, shift, False, CurrentTime);
    XFlush(display);
}

}  // namespace

Result<void> X11Input::readyDisplay(X11Connection& x11, Display*& display) {
    display = x11.display();
    if (!display) return fail(x11.unavailable().value_or(""));
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor))
        return fail("the X server has no XTEST extension");
    return succeeded();
}

void X11Input::restoreAfterSettling(KeyboardBindings& bindings, Display* display) {
    if (!bindings.borrowed()) return;
    std::this_thread::sleep_for(KeyboardBindings::kSettle);
    x11_.withLocked([&](X11Connection& x11) {
        // The connection may have been replaced meanwhile; the old one's mapping is gone.
        if (x11.display() == display) bindings.restore();
    });
}

Result<void> X11Input::typeCharacters(const std::vector<std::u32string>& characters,
                                      const std::function<bool()>& stillAimed) {
    Display* display = nullptr;
    std::optional<KeyboardBindings> bindings;
    auto ready = x11_.withLocked([&](X11Connection& x11) -> Result<void> {
        VELMOR_RETURN_IF_FAILED(readyDisplay(x11, display));
        bindings.emplace(display);
        if (!bindings->valid()) return fail("cannot read the keyboard mapping");
        return succeeded();
    });
    if (!ready) return ready;
    std::optional<std::string> failure;
    size_t typed = 0;
    for (const auto& character : characters) {
        // Asked with nothing held: the answer may need the display itself.
        if (!stillAimed()) {
            failure = "typing stopped after " + std::to_string(typed) + " of " + std::to_string(characters.size()) +
                      " characters: the target's window lost the keyboard focus";
            break;
        }
        ++typed;
        bool struck = x11_.withLocked([&](X11Connection&) {
            for (char32_t codePoint : character) {
                auto stroke = bindings->strokeFor(keysymForCodePoint(codePoint));
                if (!stroke) return false;
                strike(display, *stroke);
                bindings->used(*stroke);
            }
            return true;
        });
        if (!struck) {
            failure = "no spare key code to type a character with";
            break;
        }
        std::this_thread::sleep_for(kTypingPace);
    }
    restoreAfterSettling(*bindings, display);
    if (failure) return fail(*failure);
    return succeeded();
}

Result<void> X11Input::pressKey(const Key& key, const Modifiers& modifiers) {
    Display* display = nullptr;
    std::optional<KeyboardBindings> bindings;
    auto pressed = x11_.withLocked([&](X11Connection& x11) -> Result<void> {
        VELMOR_RETURN_IF_FAILED(readyDisplay(x11, display));
        bindings.emplace(display);
        if (!bindings->valid()) return fail("cannot read the keyboard mapping");
        auto stroke = bindings->strokeFor(keySymbolOf(key));
        if (!stroke) return fail("no key code for the key");

        std::vector<KeyCode> held;
        if (modifiers.control) held.push_back(XKeysymToKeycode(display, XK_Control_L));
        if (modifiers.shift || stroke->shift) held.push_back(XKeysymToKeycode(display, XK_Shift_L));
        if (modifiers.alt) held.push_back(XKeysymToKeycode(display, XK_Alt_L));
        held.erase(std::remove(held.begin(), held.end(), KeyCode{0}), held.end());
        for (KeyCode code : held) XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, stroke->code, True, CurrentTime);
        XTestFakeKeyEvent(display, stroke->code, False, CurrentTime);
        for (auto code = held.rbegin(); code != held.rend(); ++code) XTestFakeKeyEvent(display, *code, False, CurrentTime);
        XFlush(display);
        return succeeded();
    });
    if (bindings) restoreAfterSettling(*bindings, display);
    return pressed;
}

Result<void> X11Input::movePointer(int x, int y) {
    return x11_.withLocked([&](X11Connection& x11) -> Result<void> {
        Display* display = nullptr;
        VELMOR_RETURN_IF_FAILED(readyDisplay(x11, display));
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XFlush(display);
        return succeeded();
    });
}

Result<void> X11Input::setButton(MouseButton button, bool down) {
    return x11_.withLocked([&](X11Connection& x11) -> Result<void> {
        Display* display = nullptr;
        VELMOR_RETURN_IF_FAILED(readyDisplay(x11, display));
        XTestFakeButtonEvent(display, button == MouseButton::right ? kRightButton : kLeftButton, down ? True : False,
                             CurrentTime);
        XFlush(display);
        return succeeded();
    });
}

void X11Input::clickButton(Display* display, unsigned int button, int times) {
    for (int i = 0; i < times; ++i) {
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        XTestFakeButtonEvent(display, button, False, CurrentTime);
    }
}

Result<void> X11Input::scroll(int deltaY, int deltaX) {
    return x11_.withLocked([&](X11Connection& x11) -> Result<void> {
        Display* display = nullptr;
        VELMOR_RETURN_IF_FAILED(readyDisplay(x11, display));
        clickButton(display, deltaY > 0 ? kWheelDown : kWheelUp, wheelNotches(deltaY));
        clickButton(display, deltaX > 0 ? kWheelRight : kWheelLeft, wheelNotches(deltaX));
        XFlush(display);
        return succeeded();
    });
}

}  // namespace velmor::platform
