#include "platform/linux/wayland_input.h"

#include "platform/linux/key_symbols.h"
#include "platform/linux/wheel_notches.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace velmor::platform {

namespace {

const char* const kNoKeyboard =
    "this Wayland compositor offers no virtual keyboard; input needs a compositor with the virtual-keyboard "
    "protocol (zwp_virtual_keyboard_manager_v1) or the RemoteDesktop service";
const char* const kNoPointer =
    "this Wayland compositor offers no virtual pointer; pointer input needs a compositor with the wlr "
    "virtual-pointer protocol (zwlr_virtual_pointer_manager_v1) or the RemoteDesktop service";

// Real modifiers as every xkb keymap numbers them: Shift 0, Lock 1, Control 2, Mod1 3. A
// virtual keyboard's keys do not change the modifier state: it is set by request.
constexpr uint32_t kShiftMask = 1u << 0, kControlMask = 1u << 2, kAltMask = 1u << 3;
// A keymap a keyboard gets is not in use at once: sway hands it to the focused application
// only after a moment, and keys struck before are lost.
constexpr auto kKeymapSettle = std::chrono::milliseconds(300);
// The compositor passes keys on at once and in order, but holds only so many events for an
// application that has not read them yet before it gives up on that application: a short
// breath between characters lets a busy one keep up.
constexpr auto kTypingPace = std::chrono::milliseconds(2);
// xkb key codes are evdev codes plus 8; evdev code 0 means no key.
constexpr uint32_t kFirstXkbCode = 9;
constexpr size_t kMaxKeys = 255 - kFirstXkbCode;
// A wheel notch as libinput reports it, in the axis' units.
constexpr int kAxisPerNotch = 15;

uint32_t now() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The keys every keymap starts with: the named keys and printable ASCII, so that key
// combinations and plain text need no new keymap.
std::vector<uint32_t> baseSymbols() {
    std::vector<uint32_t> symbols;
    for (int key = static_cast<int>(NamedKey::enter); key <= static_cast<int>(NamedKey::f12); ++key)
        symbols.push_back(keySymbolOf(static_cast<NamedKey>(key)));
    for (char c = 0x21; c < 0x7f; ++c) symbols.push_back(keySymbolOf(c));
    return symbols;
}

std::string keymapText(const std::vector<uint32_t>& symbols) {
    std::string codes, keys;
    for (size_t i = 0; i < symbols.size(); ++i) {
        const std::string code = std::to_string(kFirstXkbCode + i);
        char name[64];
        if (xkb_keysym_get_name(symbols[i], name, sizeof name) < 0) continue;
        codes += "    <K" + code + "> = " + code + ";\n";
        keys += "    key <K" + code + "> { [ " + name + " ] };\n";
    }

    return "xkb_keymap {\n  xkb_keycodes \"velmor\" {\n    minimum = 8;\n    maximum = 255;\n" + codes +
           "  };\n  xkb_types \"velmor\" { include \"complete\" };\n"
           "  xkb_compatibility \"velmor\" { include \"complete\" };\n  xkb_symbols \"velmor\" {\n" +
           keys + "  };\n};\n";
}

}  // namespace

Result<void> WaylandInput::onConnection(const std::function<void(WaylandConnection&, std::string&)>& work) {
    std::string why;
    if (auto reason = wayland_.run([&](WaylandConnection& c) { work(c, why); })) return fail(*reason);
    if (!why.empty()) return fail(why);
    return succeeded();
}

zwp_virtual_keyboard_v1* WaylandInput::keyboardWith(WaylandConnection& c, const std::vector<uint32_t>& symbols,
                                                    std::string& why) {
    std::vector<uint32_t> missing;
    for (uint32_t symbol : symbols) {
        if (std::find(keySymbols_.begin(), keySymbols_.end(), symbol) == keySymbols_.end() &&
            std::find(missing.begin(), missing.end(), symbol) == missing.end())
            missing.push_back(symbol);
    }
    if (keyboard_ && missing.empty()) return keyboard_;
    auto* manager = static_cast<zwp_virtual_keyboard_manager_v1*>(c.bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    if (!manager) return why = kNoKeyboard, nullptr;
    if (!c.seat) {
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(manager));
        return why = "this Wayland compositor offers no seat for a keyboard", nullptr;
    }
    // sway passes on only the first keymap of a virtual keyboard to the applications, so a
    // keymap with more keys comes with a keyboard of its own. Keys only ever get added, so
    // events still on their way keep their meaning; a full keymap starts again with just
    // what is needed now.
    if (keyboard_) zwp_virtual_keyboard_v1_destroy(keyboard_);
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, c.seat);
    wl_proxy_destroy(reinterpret_cast<wl_proxy*>(manager));  // the manager has no destructor request
    if (keySymbols_.empty() || keySymbols_.size() + missing.size() > kMaxKeys) {
        keySymbols_ = baseSymbols();
        missing.erase(std::remove_if(missing.begin(), missing.end(),
                                     [&](uint32_t s) {
                                         return std::find(keySymbols_.begin(), keySymbols_.end(), s) != keySymbols_.end();
                                     }),
                      missing.end());
    }
    if (keySymbols_.size() + missing.size() > kMaxKeys)
        return why = "too many different characters to type at once", nullptr;
    keySymbols_.insert(keySymbols_.end(), missing.begin(), missing.end());
    const std::string text = keymapText(keySymbols_);
    int fd = memfd_create("velmor-keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, text.c_str(), text.size() + 1) != static_cast<ssize_t>(text.size() + 1)) {
        if (fd >= 0) close(fd);
        keySymbols_.clear();
        return why = "cannot hand the compositor a keymap", nullptr;
    }
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, static_cast<uint32_t>(text.size() + 1));
    close(fd);
    if (!c.roundtrip()) return why = "the Wayland compositor did not take the keymap", nullptr;
    std::this_thread::sleep_for(kKeymapSettle);
    return keyboard_;
}

zwlr_virtual_pointer_v1* WaylandInput::pointer(WaylandConnection& c, std::string& why) {
    if (pointer_) return pointer_;
    auto* manager =
        static_cast<zwlr_virtual_pointer_manager_v1*>(c.bind(&zwlr_virtual_pointer_manager_v1_interface, 1));
    if (!manager) return why = kNoPointer, nullptr;
    pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, c.seat);
    wl_proxy_destroy(reinterpret_cast<wl_proxy*>(manager));
    return pointer_;
}

void WaylandInput::strike(uint32_t symbol, const Modifiers& modifiers) {
    auto key = std::find(keySymbols_.begin(), keySymbols_.end(), symbol);
    if (key == keySymbols_.end()) return;
    const uint32_t code = static_cast<uint32_t>(key - keySymbols_.begin()) + kFirstXkbCode - 8;
    const uint32_t mask = (modifiers.shift ? kShiftMask : 0) | (modifiers.control ? kControlMask : 0) |
                          (modifiers.alt ? kAltMask : 0);
    if (mask) zwp_virtual_keyboard_v1_modifiers(keyboard_, mask, 0, 0, 0);
    zwp_virtual_keyboard_v1_key(keyboard_, now(), code, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(keyboard_, now(), code, WL_KEYBOARD_KEY_STATE_RELEASED);
    if (mask) zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
}

Result<void> WaylandInput::typeCharacters(const std::vector<std::u32string>& characters,
                                          const std::function<bool()>& stillAimed) {
    std::vector<uint32_t> symbols;
    for (const auto& character : characters) {
        for (char32_t c : character) {
            uint32_t symbol = keySymbolTyping(c);
            if (symbol == XKB_KEY_NoSymbol) return fail("no key types the character U+" + std::to_string(c));
            symbols.push_back(symbol);
        }
    }
    if (auto ready = onConnection([&](WaylandConnection& c, std::string& why) { keyboardWith(c, symbols, why); }); !ready)
        return ready;
    for (const auto& character : characters) {
        if (!stillAimed()) return fail("the target window is gone; typing stopped");
        auto typed = onConnection([&](WaylandConnection& c, std::string& why) {
            std::vector<uint32_t> these;
            for (char32_t cp : character) these.push_back(keySymbolTyping(cp));
            if (!keyboardWith(c, these, why)) return;
            for (uint32_t symbol : these) strike(symbol, {});
            wl_display_flush(c.display);
        });
        if (!typed) return typed;
        std::this_thread::sleep_for(kTypingPace);
    }
    return succeeded();
}

Result<void> WaylandInput::pressKey(const Key& key, const Modifiers& modifiers) {
    const uint32_t symbol = keySymbolOf(key);
    return onConnection([&](WaylandConnection& c, std::string& why) {
        if (!keyboardWith(c, {symbol}, why)) return;
        strike(symbol, modifiers);
        wl_display_flush(c.display);
    });
}

Result<void> WaylandInput::movePointer(int x, int y) {
    return onConnection([&](WaylandConnection& c, std::string& why) {
        auto* p = pointer(c, why);
        if (!p) return;
        auto layout = c.layout();
        if (!layout) return void(why = "the Wayland compositor shows no output");
        const int px = std::clamp(x - layout->x, 0, layout->width - 1), py = std::clamp(y - layout->y, 0, layout->height - 1);
        auto moveTo = [&](int toX, int toY) {
            zwlr_virtual_pointer_v1_motion_absolute(p, now(), static_cast<uint32_t>(toX), static_cast<uint32_t>(toY),
                                                    static_cast<uint32_t>(layout->width),
                                                    static_cast<uint32_t>(layout->height));
            zwlr_virtual_pointer_v1_frame(p);
        };
        // XWayland does not take the place a pointer enters one of its windows at for its X
        // clients: a button pressed next goes to whatever X window the last motion inside
        // was over. A last step of one pixel is such a motion, wherever the pointer came from.
        moveTo(px > 0 ? px - 1 : std::min(px + 1, layout->width - 1), py);
        moveTo(px, py);
        c.roundtrip();
    });
}

Result<void> WaylandInput::setButton(MouseButton button, bool down) {
    return onConnection([&](WaylandConnection& c, std::string& why) {
        auto* p = pointer(c, why);
        if (!p) return;
        zwlr_virtual_pointer_v1_button(p, now(), button == MouseButton::left ? BTN_LEFT : BTN_RIGHT,
                                       down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(p);
        c.roundtrip();
    });
}

Result<void> WaylandInput::scroll(int deltaY, int deltaX) {
    return onConnection([&](WaylandConnection& c, std::string& why) {
        auto* p = pointer(c, why);
        if (!p) return;
        auto turn = [&](uint32_t axis, int pixels) {
            int steps = wheelNotches(pixels) * (pixels < 0 ? -1 : 1);
            if (steps == 0) return;
            zwlr_virtual_pointer_v1_axis_source(p, WL_POINTER_AXIS_SOURCE_WHEEL);
            zwlr_virtual_pointer_v1_axis_discrete(p, now(), axis, wl_fixed_from_int(steps * kAxisPerNotch), steps);
            zwlr_virtual_pointer_v1_frame(p);
        };
        turn(WL_POINTER_AXIS_VERTICAL_SCROLL, deltaY);
        turn(WL_POINTER_AXIS_HORIZONTAL_SCROLL, deltaX);
        c.roundtrip();
    });
}

}  // namespace velmor::platform
