#pragma once

#include "base/result.h"
#include "platform/input.h"

#include <string>

namespace velmor::automation {

// A key combination such as "cmd+shift+t": the key and the modifiers held with it.
struct KeyCombo {
    platform::Key key;
    platform::Modifiers modifiers;
};

// Reads a combination, case-insensitively: modifier words ("cmd"/"command", "shift",
// "alt"/"option", "ctrl"/"control") and one key name, the last one winning when there are
// several. Pieces are not trimmed. "unknown key: <name>" when the key is not in the key
// table, also when there is none.
Result<KeyCombo> parseKeyCombo(const std::string& combo);

}  // namespace velmor::automation
