#pragma once

#include "base/child_process.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velmor {

// What a child run to its end left behind.
struct ChildOutcome {
    bool started = false;   // false: the program could not be run at all
    bool timedOut = false;  // it was stopped at the limit
    int status = -1;        // the exit status; -1 when it did not start, a signal ended it or it timed out
    std::string output;     // standard output, at most options.outputLimit bytes
    // Standard error (at most options.errorLimit bytes), trimmed at both ends; when the
    // program did not start, "cannot start <argv[0]>: <reason>"; when it timed out,
    // "<argv[0]> did not finish within <n> s" followed by what it wrote.
    std::string errors;
    std::string lastErrorLine;  // the last line of standard error that held text
};

// Runs `argv` with `options.input` on its standard input (then closed), until it ends and
// its streams are read to their end, or until `limit`, when its whole process group is
// stopped (options.stopSignal); should the current call (base/call_context.h) be cancelled
// meanwhile, it is stopped then. `onStart` receives the process id once the program runs,
// so another thread can stop it early (a signal to that group).
ChildOutcome runChild(const std::vector<std::string>& argv, ChildOptions options = {},
                      std::optional<std::chrono::milliseconds> limit = std::nullopt,
                      const std::function<void(pid_t)>& onStart = {});

}  // namespace velmor
