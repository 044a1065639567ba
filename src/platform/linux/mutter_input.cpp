#include "platform/linux/mutter_input.h"

#include "platform/linux/dbus_message.h"
#include "platform/linux/key_symbols.h"
#include "platform/linux/keyboard_layout.h"
#include "platform/linux/wheel_notches.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <thread>

namespace velmor::platform {

namespace {

// mutter's axes for discrete scrolling.
constexpr uint32_t kVerticalAxis = 0, kHorizontalAxis = 1;

uint32_t symbolOfCodePoint(char32_t c) {
    switch (c) {
        case U'\n':
        case U'\r': return XKB_KEY_Return;
        case U'\t': return XKB_KEY_Tab;
        case U'\b': return XKB_KEY_BackSpace;
        default: return xkb_utf32_to_keysym(c);
    }
}

}  // namespace

Result<void> MutterInput::key(uint32_t symbol, bool down) {
    return session_.notify("NotifyKeyboardKeysym", [&](DbusCall& call, const MutterStream&) { call.add(symbol).add(down); });
}

Result<void> MutterInput::strike(uint32_t symbol, const Modifiers& modifiers) {
    std::vector<uint32_t> held;
    if (modifiers.control) held.push_back(XKB_KEY_Control_L);
    if (modifiers.shift) held.push_back(XKB_KEY_Shift_L);
    if (modifiers.alt) held.push_back(XKB_KEY_Alt_L);
    Result<void> result = succeeded();
    size_t down = 0;
    for (; down < held.size() && result; ++down) result = key(held[down], true);
    if (result) result = key(symbol, true);
    if (result) result = key(symbol, false);
    // Whatever was pressed is released, even after a refusal: no modifier stays stuck.
    while (down > 0) {
        auto released = key(held[--down], false);
        if (result && !released) result = released;
    }
    return result;
}

Result<void> MutterInput::typeCodePoint(char32_t c) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(c));
    if (auto opened = strike(XKB_KEY_u, {.control = true, .shift = true}); !opened) return opened;
    for (const char* digit = hex; *digit; ++digit)
        if (auto typed = strike(keySymbolOf(*digit), {}); !typed) return typed;
    return strike(XKB_KEY_space, {});
}

Result<void> MutterInput::typeCharacters(const std::vector<std::u32string>& characters, std::chrono::milliseconds pace,
                                         const std::function<bool()>& stillAimed) {
    for (const auto& character : characters) {
        if (!stillAimed()) return fail("the target window is gone; typing stopped");
        for (char32_t c : character) {
            const uint32_t symbol = symbolOfCodePoint(c);
            if (symbol == XKB_KEY_NoSymbol) return fail("no key types the character U+" + std::to_string(c));
            auto typed = layoutHasKeyFor(symbol) ? strike(symbol, {}) : typeCodePoint(c);
            if (!typed) return typed;
        }
        std::this_thread::sleep_for(pace);
    }
    return succeeded();
}

Result<void> MutterInput::pressKey(const Key& pressed, const Modifiers& modifiers) {
    return strike(keySymbolOf(pressed), modifiers);
}

Result<void> MutterInput::movePointer(int x, int y) {
    return session_.notify("NotifyPointerMotionAbsolute", [&](DbusCall& call, const MutterStream& stream) {
        const Frame& monitor = stream.monitor;
        const int px = std::clamp(x - monitor.x, 0, std::max(monitor.width - 1, 0));
        const int py = std::clamp(y - monitor.y, 0, std::max(monitor.height - 1, 0));
        call.add(stream.path).add(static_cast<double>(px)).add(static_cast<double>(py));
    });
}

Result<void> MutterInput::setButton(MouseButton button, bool down) {
    return session_.notify("NotifyPointerButton", [&](DbusCall& call, const MutterStream&) {
        call.add(int32_t{button == MouseButton::left ? BTN_LEFT : BTN_RIGHT}).add(down);
    });
}

Result<void> MutterInput::scroll(int deltaY, int deltaX) {
    for (auto [axis, pixels] : {std::pair{kVerticalAxis, deltaY}, std::pair{kHorizontalAxis, deltaX}}) {
        const int32_t steps = wheelNotches(pixels) * (pixels < 0 ? -1 : 1);
        if (steps == 0) continue;
        auto turned = session_.notify("NotifyPointerAxisDiscrete",
                                      [&](DbusCall& call, const MutterStream&) { call.add(axis).add(steps); });
        if (!turned) return turned;
    }
    return succeeded();
}

}  // namespace velmor::platform
