#pragma once

#include "base/result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// A running application the user works with: one that has a window of its own.
struct RunningApplication {
    std::optional<std::string> name;      // as the application presents itself
    std::optional<std::string> bundleId;  // the application's stable identifier
    int32_t pid = 0;
    uint64_t started = 0;  // when its process started: tells it from a later one with the same pid
};

// How an application's process ended: its exit status, or the signal that ended it.
struct ProcessEnd {
    bool bySignal = false;
    int code = 0;
};

class Applications {
public:
    virtual ~Applications() = default;

    // Whether the desktop can be reached; fails with the reason (no display, no accessibility bus).
    virtual Result<void> reachable() = 0;
    // The regular applications, in the order the desktop lists them. Agents such as this
    // process itself are not among them.
    virtual std::vector<RunningApplication> regularApplications() = 0;
    // Brings the application's front window forward and gives it the focus. Returns before
    // the window manager has done so; fails with the reason where windows cannot be raised.
    virtual Result<void> activate(int32_t pid) = 0;
    // Whether the application's process still runs (the very process, not a later one that
    // got the same process identifier).
    virtual bool isRunning(const RunningApplication& application) = 0;
    // How the application's process ended, once it has; nothing while it runs or once that
    // can no longer be read (the system forgets it when its parent collects it).
    virtual std::optional<ProcessEnd> howItEnded(const RunningApplication&) { return std::nullopt; }
};

}  // namespace velmor::platform
