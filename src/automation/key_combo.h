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

// Reads a combination by the words of keyCombination (base/key_combination.h). "unknown key:
// <name>" when the key is not in the key table, also when there is none.
Result<KeyCombo> parseKeyCombo(const std::string& combo);

}  // namespace velmor::automation
