#pragma once

#include "platform/applications.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velmor::platform {

// When the process started, in clock ticks since boot: with the process identifier it names
// one process for good, as a reused identifier gets a later start. Nothing when no live
// process has the identifier (zombies included: they have quit).
std::optional<uint64_t> processStart(int32_t pid);

// The process's state letter as /proc tells it ("R" running, "S" sleeping, "Z" zombie, ...);
// nothing when no process has the identifier.
std::optional<std::string> processState(int32_t pid);

// How the process that started at `started` ended, read while it waits for its parent to
// collect it; nothing while it runs, or once it has been collected.
std::optional<ProcessEnd> processEnd(int32_t pid, uint64_t started);

// The name of the process's executable file, else its command name; nothing when neither can
// be read.
std::optional<std::string> executableName(int32_t pid);

}  // namespace velmor::platform
