#pragma once

#include <string>
#include <vector>

namespace velmor::shortcuts {

// velmor-shortcuts: the command line of the shortcuts facility (list, run, sign, import).
// `args` excludes the program name. Answers the exit status.
int runFacilityCommand(const std::vector<std::string>& args);

}  // namespace velmor::shortcuts
