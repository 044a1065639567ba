#include "platform/linux/key_symbols.h"

#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

namespace velmor::platform {

namespace {

uint32_t namedKeySymbol(NamedKey key) {
    switch (key) {
        case NamedKey::enter: return XK_Return;
        case NamedKey::tab: return XK_Tab;
        case NamedKey::space: return XK_space;
        case NamedKey::backspace: return XK_BackSpace;
        case NamedKey::forwardDelete: return XK_Delete;
        case NamedKey::escape: return XK_Escape;
        case NamedKey::insert: return XK_Insert;
        case NamedKey::up: return XK_Up;
        case NamedKey::down: return XK_Down;
        case NamedKey::left: return XK_Left;
        case NamedKey::right: return XK_Right;
        case NamedKey::home: return XK_Home;
        case NamedKey::end: return XK_End;
        case NamedKey::pageUp: return XK_Page_Up;
        case NamedKey::pageDown: return XK_Page_Down;
        case NamedKey::f1: return XK_F1;
        case NamedKey::f2: return XK_F2;
        case NamedKey::f3: return XK_F3;
        case NamedKey::f4: return XK_F4;
        case NamedKey::f5: return XK_F5;
        case NamedKey::f6: return XK_F6;
        case NamedKey::f7: return XK_F7;
        case NamedKey::f8: return XK_F8;
        case NamedKey::f9: return XK_F9;
        case NamedKey::f10: return XK_F10;
        case NamedKey::f11: return XK_F11;
        case NamedKey::f12: return XK_F12;
    }
    return 0;
}

}  // namespace

uint32_t keySymbolOf(const Key& key) {
    if (const NamedKey* named = std::get_if<NamedKey>(&key)) return namedKeySymbol(*named);
    // Printable ASCII characters are their own key symbols.
    return static_cast<unsigned char>(std::get<char>(key));
}

uint32_t keySymbolTyping(char32_t c) {
    switch (c) {
        case U'\n':
        case U'\r': return XK_Return;
        case U'\t': return XK_Tab;
        case U'\b': return XK_BackSpace;
        default: return xkb_utf32_to_keysym(c);
    }
}

}  // namespace velmor::platform
