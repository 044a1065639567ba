#pragma once

#include "base/result.h"
#include "platform/input.h"

#include <string>

namespace velmor::automation {

// A key combination such as "ctrl+shift+t": the key and the modifiers held with it.
struct KeyCombo {
    platform::Key key;
    platform::Modifiers modifiers;
};

// Reads a combination, case-insensitively: modifier words ("ctrl"/"control", with
// "cmd"/"command" as aliases; "shift"; "alt", alias "option") and one key name, the last one winning when there are
// several. Pieces are not trimmed. "unknown key: <name>" when the key is not in the key
// table, also when there is none.
Result<KeyCombo> parseKeyCombo(const std::string& combo);

}  // namespace velmor::automation
