#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace velmor::shortcuts {

// What a finished child process left behind.
struct ChildOutcome {
    std::string out;  // standard output, trimmed at both ends
    std::string err;  // standard error, trimmed at both ends
    int status = -1;  // exit status; -1 when it could not start, was killed or timed out
};

struct ChildRequest {
    std::string program;  // absolute path
    std::vector<std::string> args;
    std::string input;  // written to its standard input, which is then closed
    // Killed when it runs longer; it runs to its end without one.
    std::optional<std::chrono::milliseconds> timeout;
    // Output beyond this is read and dropped, so a chatty child can neither block nor
    // exhaust memory.
    size_t maxOutput = 16 * 1024 * 1024;
    // For launchers whose offspring outlive them (a browser started by xdg-open): its
    // streams go to /dev/null, so nothing waits for the offspring to close them.
    bool discardStreams = false;
};

// Runs a program to completion with its three standard streams on pipes, draining them
// while it runs. It inherits no other descriptor of this process. A child that cannot be
// started answers status -1 with the reason as its standard error.
ChildOutcome runChild(const ChildRequest& request);

// Trims blanks and line ends at both ends.
std::string trimmed(const std::string& text);

}  // namespace velmor::shortcuts
