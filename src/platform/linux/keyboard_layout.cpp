#include "platform/linux/keyboard_layout.h"

#include <xkbcommon/xkbcommon.h>

#include <set>

namespace velmor::platform {

namespace {

std::set<uint32_t> symbolsOfDefaultLayout() {
    std::set<uint32_t> symbols;
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context) return symbols;
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap) {
        for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap); ++code) {
            const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, code, 0);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                const xkb_keysym_t* found = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(keymap, code, 0, level, &found);
                for (int i = 0; i < count; ++i) symbols.insert(found[i]);
            }
        }
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return symbols;
}

}  // namespace

bool layoutHasKeyFor(uint32_t symbol) {
    static const std::set<uint32_t> symbols = symbolsOfDefaultLayout();
    return symbols.count(symbol) > 0;
}

}  // namespace velmor::platform
