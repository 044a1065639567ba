#include "browser/key_events.h"

#include "base/key_combination.h"
#include "base/text.h"

#include <array>
#include <cctype>
#include <string_view>

namespace velmor::browser {

namespace {

using nlohmann::json;

struct NamedKey {
    std::string_view name;  // lower case
    std::string_view key;
    std::string_view code;
    int keyCode;
    std::string_view text;
};

// Key codes are the Windows virtual-key codes that DOM keyCode reports.
constexpr std::array kNamedKeys{
    NamedKey{"enter", "Enter", "Enter", 13, "\r"},       NamedKey{"return", "Enter", "Enter", 13, "\r"},
    NamedKey{"tab", "Tab", "Tab", 9, ""},                NamedKey{"escape", "Escape", "Escape", 27, ""},
    NamedKey{"esc", "Escape", "Escape", 27, ""},         NamedKey{"backspace", "Backspace", "Backspace", 8, ""},
    NamedKey{"delete", "Delete", "Delete", 46, ""},      NamedKey{"insert", "Insert", "Insert", 45, ""},
    NamedKey{"space", " ", "Space", 32, " "},
    NamedKey{"arrowup", "ArrowUp", "ArrowUp", 38, ""},   NamedKey{"up", "ArrowUp", "ArrowUp", 38, ""},
    NamedKey{"arrowdown", "ArrowDown", "ArrowDown", 40, ""}, NamedKey{"down", "ArrowDown", "ArrowDown", 40, ""},
    NamedKey{"arrowleft", "ArrowLeft", "ArrowLeft", 37, ""}, NamedKey{"left", "ArrowLeft", "ArrowLeft", 37, ""},
    NamedKey{"arrowright", "ArrowRight", "ArrowRight", 39, ""}, NamedKey{"right", "ArrowRight", "ArrowRight", 39, ""},
    NamedKey{"home", "Home", "Home", 36, ""},            NamedKey{"end", "End", "End", 35, ""},
    NamedKey{"pageup", "PageUp", "PageUp", 33, ""},      NamedKey{"pagedown", "PageDown", "PageDown", 34, ""},
    NamedKey{"f1", "F1", "F1", 112, ""},   NamedKey{"f2", "F2", "F2", 113, ""},   NamedKey{"f3", "F3", "F3", 114, ""},
    NamedKey{"f4", "F4", "F4", 115, ""},   NamedKey{"f5", "F5", "F5", 116, ""},   NamedKey{"f6", "F6", "F6", 117, ""},
    NamedKey{"f7", "F7", "F7", 118, ""},   NamedKey{"f8", "F8", "F8", 119, ""},   NamedKey{"f9", "F9", "F9", 120, ""},
    NamedKey{"f10", "F10", "F10", 121, ""}, NamedKey{"f11", "F11", "F11", 122, ""}, NamedKey{"f12", "F12", "F12", 123, ""},
};

// The modifier keys in the order they go down, with their bit in DevTools' modifiers field.
struct ModifierKey {
    std::string_view word;
    std::string_view key;
    std::string_view code;
    int keyCode;
    int bit;
};
constexpr ModifierKey kControl{"ctrl", "Control", "ControlLeft", 17, 2};
constexpr ModifierKey kAlt{"alt", "Alt", "AltLeft", 18, 1};
constexpr ModifierKey kShift{"shift", "Shift", "ShiftLeft", 16, 8};

// What a US keyboard types with Shift held on the keys that type digits and punctuation.
constexpr std::string_view kUnshifted = "1234567890-=[]\\;',./`";
constexpr std::string_view kShifted = "!@#$%^&*()_+{}|:\"<>?~";

json keyParams(std::string_view key, std::string_view code, int keyCode, std::string_view text) {
    json p = {{"key", key}, {"code", code}, {"windowsVirtualKeyCode", keyCode}, {"nativeVirtualKeyCode", keyCode}};
    if (!text.empty()) {
        p["text"] = text;
        p["unmodifiedText"] = text;
    }
    return p;
}

// A printable ASCII character types itself; letters and digits have key codes of their own.
// With Shift held, a letter is its capital and a digit or punctuation key its shifted sign.
json characterParams(char c, bool shifted) {
    unsigned char u = static_cast<unsigned char>(c);
    std::string code;
    int keyCode = 0;
    if (std::isalpha(u)) {
        code = std::string("Key") + static_cast<char>(std::toupper(u));
        keyCode = std::toupper(u);
    } else if (std::isdigit(u)) {
        code = std::string("Digit") + c;
        keyCode = u;
    }
    char typed = c;
    if (shifted) {
        if (std::isalpha(u)) typed = static_cast<char>(std::toupper(u));
        else if (auto at = kUnshifted.find(c); at != std::string_view::npos) typed = kShifted[at];
    }
    return keyParams(std::string_view(&typed, 1), code, keyCode, std::string_view(&typed, 1));
}

std::optional<json> namedKeyParams(const std::string& lowered) {
    for (const auto& k : kNamedKeys)
        if (k.name == lowered) return keyParams(k.key, k.code, k.keyCode, k.text);
    return std::nullopt;
}

json modifierEvent(const ModifierKey& modifier, const char* type, int held) {
    json event = keyParams(modifier.key, modifier.code, modifier.keyCode, "");
    event["type"] = type;
    event["modifiers"] = held;
    event["location"] = 1;  // the left-hand key
    return event;
}

}  // namespace

std::optional<KeyPress> keyPress(const std::string& combination) {
    // A lone character is typed as written, "+" and capitals included.
    bool lone = combination.size() == 1 && combination[0] > ' ' && combination[0] < 0x7f;
    KeyCombination written = lone ? KeyCombination{.key = combination} : keyCombination(combination);
    std::optional<json> params = written.key.size() == 1 && written.key[0] > ' ' && written.key[0] < 0x7f
                                     ? std::optional(characterParams(written.key[0], written.shift))
                                     : namedKeyParams(written.key);
    if (!params) return std::nullopt;

    std::vector<const ModifierKey*> held;
    if (written.control) held.push_back(&kControl);
    if (written.alt) held.push_back(&kAlt);
    if (written.shift) held.push_back(&kShift);
    KeyPress press{.key = (*params)["key"].get<std::string>()};
    int modifiers = 0;
    for (const ModifierKey* modifier : held) {
        modifiers |= modifier->bit;
        press.events.push_back(modifierEvent(*modifier, "rawKeyDown", modifiers));
        press.modifiers.emplace_back(modifier->word);
    }
    // A key that types something is a full key press; the others have no character. With
    // Control or Alt held nothing is typed: the page sees a shortcut.
    if (written.control || written.alt) {
        params->erase("text");
        params->erase("unmodifiedText");
    }
    json down = *params;
    down["type"] = params->contains("text") ? "keyDown" : "rawKeyDown";
    down["modifiers"] = modifiers;
    json up = *params;
    up.erase("text");
    up.erase("unmodifiedText");
    up["type"] = "keyUp";
    up["modifiers"] = modifiers;
    press.events.push_back(std::move(down));
    press.events.push_back(std::move(up));
    for (auto modifier = held.rbegin(); modifier != held.rend(); ++modifier) {
        modifiers &= ~(*modifier)->bit;
        press.events.push_back(modifierEvent(**modifier, "keyUp", modifiers));
    }
    return press;
}

const char* knownKeyNames() {
    return "Enter, Tab, Escape, Backspace, Delete, Insert, Space, ArrowUp, ArrowDown, ArrowLeft, ArrowRight, Home, "
           "End, PageUp, PageDown, F1-F12 or one printable character, after modifiers such as ctrl+a or shift+tab";
}

}  // namespace velmor::browser
