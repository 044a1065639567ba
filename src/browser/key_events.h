#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::browser {

// One key press as DevTools Input.dispatchKeyEvent takes it: the events in the order they are
// sent (modifier keys down, the key down and up, modifier keys up), each carrying the
// modifiers held at that moment, and the DOM key and modifier words for the answer.
struct KeyPress {
    std::vector<nlohmann::json> events;
    std::string key;
    std::vector<std::string> modifiers;  // "ctrl", "alt", "shift", in that order
};

// The events of a key or key combination: Enter, Tab, Escape, Backspace, Delete, Insert,
// Space, the arrows, Home, End, PageUp, PageDown, F1-F12 or one printable ASCII character,
// optionally after modifier words joined by "+" ("ctrl+a", "shift+tab", "ctrl+shift+k";
// the words of keyCombination). Names ignore letter case; a lone character is typed as
// written. Nothing for any other name.
std::optional<KeyPress> keyPress(const std::string& combination);

// The key names keyPress knows, for messages.
const char* knownKeyNames();

}  // namespace velmor::browser
