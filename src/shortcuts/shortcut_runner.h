#pragma once

#include "base/result.h"
#include "shortcuts/shortcut_file.h"

#include <string>
#include <vector>

namespace velmor::shortcuts {

// Runs a shortcut's actions in order, each action's output being the next one's input
// and `input` the first one's. Answers the last output, or the first failure. Text
// parameters may name "{{input}}" (the action's input) and "{{<variable>}}" (a variable
// set earlier); other braces stay as they are.
// A SIGTERM ends the run with the step program running and whatever it started.
Result<std::string> runActions(const std::vector<ShortcutAction>& actions, const std::string& input);

}  // namespace velmor::shortcuts
