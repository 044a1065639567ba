#pragma once

#include "base/result.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velmor {

// The descriptors a child gets as its standard input, output and error.
struct ChildStreams {
    int input, output, errors;
};

// Starts argv[0], looked up on PATH when it has no slash, in a process group of its own,
// with default signal handling, an empty signal mask and no descriptor of this process
// but `streams`. With a `parentDeathSignal`, the program receives that signal once when
// this process ends, however it ends; the pid is then that of a guardian process in the
// same group, which ends as the program ends. The error is the reason it could not start.
Result<pid_t> launchChild(const std::vector<std::string>& argv, ChildStreams streams, int parentDeathSignal);

// The first executable file called `name` in the folders of PATH.
std::optional<std::string> programOnPath(const std::string& name);

}  // namespace velmor
