#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velmor::media {

// What a helper program (ffmpeg, espeak-ng) did within its time limit.
struct ProcessOutcome {
    bool started = false;   // false: the program could not be run at all
    bool timedOut = false;  // killed at the limit
    int exitStatus = -1;    // the exit code, -1 when killed by a signal
    std::string output;     // standard output, at most `outputLimit` bytes
    std::string errors;     // the last few kilobytes of standard error
};

// Runs `argv` in its own process group, feeds it `input` on standard input, collects what
// it writes, and kills the whole group at `limit`. `onStart` receives the process id once
// the program runs, so another thread can stop it early (a signal to that group).
ProcessOutcome runBounded(const std::vector<std::string>& argv, const std::string& input,
                          std::chrono::milliseconds limit, size_t outputLimit,
                          const std::function<void(pid_t)>& onStart = {});

}  // namespace velmor::media
