#pragma once

#include "shortcuts/shortcut_file.h"

#include <string>

namespace velmor::shortcuts {

// One action in words, as the person approving a shortcut needs to read it: what it does
// and with what (the whole script of a shell action).
std::string actionInWords(const ShortcutAction& action);

}  // namespace velmor::shortcuts
