#include "platform/linux/x11_keyboard.h"

#include <X11/keysym.h>

#include <thread>

namespace velmor::platform {

KeySym keysymForCodePoint(char32_t codePoint) {
    switch (codePoint) {
        case U'\n':
        case U'\r': return XK_Return;
        case U'\t': return XK_Tab;
        case U'\b': return XK_BackSpace;
        default: break;
    }
    // Latin-1 characters are their own key symbols; every other character has the symbol
    // X reserves for its code point.
    if ((codePoint >= 0x20 && codePoint <= 0x7e) || (codePoint >= 0xa0 && codePoint <= 0xff)) return codePoint;
    return 0x01000000 | codePoint;
}

KeyboardBindings::KeyboardBindings(Display* display) : display_(display) {
    int maxCode = 0;
    XDisplayKeycodes(display_, &minCode_, &maxCode);
    int count = maxCode - minCode_ + 1;
    KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(minCode_), count, &perCode_);
    if (!map) return;
    symbols_.assign(map, map + static_cast<size_t>(count) * perCode_);
    XFree(map);
    for (int i = 0; i < count; ++i) {
        bool empty = true;
        for (int level = 0; level < perCode_ && empty; ++level) empty = symbols_[i * perCode_ + level] == NoSymbol;
        if (empty) spares_.push_back({static_cast<KeyCode>(minCode_ + i)});
    }
}

std::optional<KeyStroke> KeyboardBindings::strokeFor(KeySym symbol) {
    int count = perCode_ > 0 ? static_cast<int>(symbols_.size()) / perCode_ : 0;
    // The first group's plain and shifted levels: the ones reachable with Shift alone.
    for (int level = 0; level < std::min(perCode_, 2); ++level) {
        for (int i = 0; i < count; ++i) {
            if (symbols_[i * perCode_ + level] == symbol) return KeyStroke{static_cast<KeyCode>(minCode_ + i), level == 1};
        }
    }
    for (const Spare& spare : spares_) {
        if (spare.bound == symbol) return KeyStroke{spare.code, false};
    }
    if (spares_.empty()) return std::nullopt;

    Spare& spare = spares_[next_++ % spares_.size()];
    // A client may not yet have read the character this code stood for last time.
    auto settled = spare.lastUse + kSettle;
    if (spare.bound != NoSymbol && settled > std::chrono::steady_clock::now()) std::this_thread::sleep_until(settled);
    // The symbol on both levels: a lone letter would otherwise type its lower-case form.
    KeySym both[2] = {symbol, symbol};
    XChangeKeyboardMapping(display_, spare.code, 2, both, 1);
    XSync(display_, False);
    if (spare.bound == NoSymbol) bound_.push_back(spare.code);
    spare.bound = symbol;
    return KeyStroke{spare.code, false};
}

void KeyboardBindings::used(const KeyStroke& stroke) {
    for (Spare& spare : spares_) {
        if (spare.code == stroke.code) spare.lastUse = std::chrono::steady_clock::now();
    }
}

void KeyboardBindings::restore() {
    KeySym none[2] = {NoSymbol, NoSymbol};
    for (KeyCode code : bound_) XChangeKeyboardMapping(display_, code, 2, none, 1);
    if (!bound_.empty()) XSync(display_, False);
    bound_.clear();
    for (Spare& spare : spares_) spare.bound = NoSymbol;
}

}  // namespace velmor::platform
