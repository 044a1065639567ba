#pragma once

#include "base/result.h"

#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace velmor::platform {

// The keys that have a name rather than a character on them.
enum class NamedKey {
    enter, tab, space, backspace, forwardDelete, escape, insert,
    up, down, left, right, home, end, pageUp, pageDown,
    f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12
};

// A key to press: a named one, or the key that types a character (a lower-case letter, a
// digit or a punctuation mark).
using Key = std::variant<NamedKey, char>;

// Held down around a key press.
struct Modifiers {
    bool control = false;
    bool shift = false;
    bool alt = false;
};

enum class MouseButton { left, right };

// Synthesised keyboard and pointer events, delivered as if a user made them: they go to
// whatever window has the focus or lies under the pointer. Points are in screen
// coordinates. Failures are described in words.
class Input {
public:
    virtual ~Input() = default;

    // Types each character (one or more code points forming what a reader sees as one), at
    // the pace the receiving side keeps up with. Characters the keyboard has no key for are
    // typed as well.
    // `stillAimed` is asked before each character, with nothing held: when it answers false
    // (the window meant to receive them has gone) typing stops with an error.
    virtual Result<void> typeCharacters(const std::vector<std::u32string>& characters,
                                        const std::function<bool()>& stillAimed) = 0;
    // Presses and releases one key with the modifiers held.
    virtual Result<void> pressKey(const Key& key, const Modifiers& modifiers) = 0;

    virtual Result<void> movePointer(int x, int y) = 0;
    virtual Result<void> setButton(MouseButton button, bool down) = 0;
    // Scrolls by pixel amounts where the pointer is; positive amounts scroll down and
    // right, as the scroll tool promises its callers.
    virtual Result<void> scroll(int deltaY, int deltaX) = 0;
};

}  // namespace velmor::platform
