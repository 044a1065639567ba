#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// The key code that produces a key symbol, and whether Shift is needed for it.
struct KeyStroke {
    KeyCode code = 0;
    bool shift = false;
};

// The keyboard mapping during one typing operation. Key symbols the keyboard lacks are
// bound to spare key codes in turn, each one to a code of its own: a client reads the
// mapping when it handles the key event, later than the event is sent, so reusing one
// code would turn earlier characters into the last one. Used with the display lock held;
// restore() must be called before the object goes away.
class KeyboardBindings {
public:
    explicit KeyboardBindings(Display* display);

    bool valid() const { return !symbols_.empty(); }
    // How long a borrowed code must stay bound after its key event for clients to have
    // read the mapping.
    static constexpr std::chrono::milliseconds kSettle{100};

    // The stroke for `symbol`, binding a spare code when no key has it (after waiting for
    // the code's previous character to settle). Nothing when the keyboard has no spare code.
    std::optional<KeyStroke> strokeFor(KeySym symbol);
    // Notes that the stroke's key was just pressed.
    void used(const KeyStroke& stroke);
    // Whether any spare code is bound now.
    bool borrowed() const { return !bound_.empty(); }
    // Empties the borrowed codes again.
    void restore();

private:
    struct Spare {
        KeyCode code;
        KeySym bound = NoSymbol;
        std::chrono::steady_clock::time_point lastUse{};
    };

    Display* display_;
    int minCode_ = 0;
    int perCode_ = 0;
    std::vector<KeySym> symbols_;
    std::vector<Spare> spares_;
    size_t next_ = 0;
    std::vector<KeyCode> bound_;
};

// The key symbol that types a code point.
KeySym keysymForCodePoint(char32_t codePoint);

}  // namespace velmor::platform
