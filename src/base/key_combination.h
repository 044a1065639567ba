#pragma once

#include <string>

namespace velmor {

// A key combination as agents write it ("ctrl+shift+t"): the modifiers held and the name of
// the one key pressed, lower-cased.
struct KeyCombination {
    bool control = false;
    bool shift = false;
    bool alt = false;
    std::string key;  // empty when only modifiers were named
};

// Reads pieces joined by "+", case-insensitively: "ctrl"/"control", with "cmd"/"command" as
// aliases, "shift", "alt" with the alias "option", and one key name, the last one winning
// when there are several. Pieces are not trimmed; empty ones are skipped.
KeyCombination keyCombination(const std::string& written);

}  // namespace velmor
