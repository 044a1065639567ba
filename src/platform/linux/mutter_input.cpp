#include "platform/linux/mutter_input.h"

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
// mutter has taken each character's events when its call returns; a short breath between
// characters lets a busy application read them before the next ones come.
constexpr auto kTypingPace = std::chrono::milliseconds(2);
// Characters sent to mutter in one round trip, between two checks that the target still has
// the focus: few enough that no more than these can reach another window once it has taken the
// focus, while the focus check, a walk of the accessibility bus here, is paid once for them.
constexpr size_t kCharactersPerCall = 4;

}  // namespace

void MutterInput::strike(Events& events, uint32_t symbol, const Modifiers& modifiers) {
    auto key = [&](uint32_t which, bool down) {
        events.push_back({.kind = InputEvent::Kind::key, .code = which, .down = down});
    };
    std::vector<uint32_t> held;
    if (modifiers.control) held.push_back(XKB_KEY_Control_L);
    if (modifiers.shift) held.push_back(XKB_KEY_Shift_L);
    if (modifiers.alt) held.push_back(XKB_KEY_Alt_L);
    for (uint32_t modifier : held) key(modifier, true);
    key(symbol, true);
    key(symbol, false);
    for (auto modifier = held.rbegin(); modifier != held.rend(); ++modifier) key(*modifier, false);
}

bool MutterInput::type(Events& events, char32_t c) {
    const uint32_t symbol = keySymbolTyping(c);
    if (symbol == XKB_KEY_NoSymbol) return false;
    if (layoutHasKeyFor(symbol)) {
        strike(events, symbol, {});
        return true;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(c));
    strike(events, XKB_KEY_u, {.control = true, .shift = true});
    for (const char* digit = hex; *digit; ++digit) strike(events, keySymbolOf(*digit), {});
    strike(events, XKB_KEY_space, {});
    return true;
}

Result<void> MutterInput::typeCharacters(const std::vector<std::u32string>& characters,
                                         const std::function<bool()>& stillAimed) {
    // A text with a character nothing can type is refused before any of it is typed.
    Events all;
    for (const auto& character : characters)
        for (char32_t c : character)
            if (!type(all, c)) return fail("no key types the character U+" + std::to_string(c));
    for (size_t first = 0; first < characters.size(); first += kCharactersPerCall) {
        if (!stillAimed()) return fail("the target window is gone; typing stopped");
        Events events;
        for (size_t i = first; i < std::min(characters.size(), first + kCharactersPerCall); ++i)
            for (char32_t c : characters[i]) type(events, c);
        VELMOR_RETURN_IF_FAILED(session_.notify(events));
        std::this_thread::sleep_for(kTypingPace);
    }
    return succeeded();
}

Result<void> MutterInput::pressKey(const Key& pressed, const Modifiers& modifiers) {
    Events events;
    strike(events, keySymbolOf(pressed), modifiers);
    return session_.notify(events);
}

Result<void> MutterInput::movePointer(int x, int y) {
    return session_.notify({{.kind = InputEvent::Kind::motion, .x = x, .y = y}});
}

Result<void> MutterInput::setButton(MouseButton button, bool down) {
    const uint32_t code = button == MouseButton::left ? BTN_LEFT : BTN_RIGHT;
    return session_.notify({{.kind = InputEvent::Kind::button, .code = code, .down = down}});
}

Result<void> MutterInput::scroll(int deltaY, int deltaX) {
    Events events;
    for (auto [axis, pixels] : {std::pair{kVerticalAxis, deltaY}, std::pair{kHorizontalAxis, deltaX}}) {
        const int32_t steps = wheelNotches(pixels) * (pixels < 0 ? -1 : 1);
        if (steps == 0) continue;
        events.push_back({.kind = InputEvent::Kind::axis, .code = axis, .steps = steps});
    }
    if (events.empty()) return succeeded();
    return session_.notify(events);
}

}  // namespace velmor::platform
