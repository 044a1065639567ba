#pragma once

#include "shortcuts/shortcut_library.h"

#include <string>

namespace velmor::shortcuts {

// `velmor-shortcuts import PATH`: asks the user, in a dialog that lists the shortcut's
// actions, whether to add it to the library, and adds it only on Add (replacing a shortcut
// of the same name, which the dialog says beforehand). Answers 0 as soon as the dialog is
// up; the dialog lives on in a process of its own. Answers 1 with the reason on standard
// error when the file is no shortcut or there is no desktop to ask on.
int importWithApproval(const std::string& path, const ShortcutLibrary& library);

}  // namespace velmor::shortcuts
