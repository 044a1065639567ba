#pragma once

#include "base/result.h"

#include <string>

namespace velmor::platform {

// Clipboard contents go through pipes to and from another application, which may be slow or
// stuck: each waits at most 2 s for the other end, and reads are bounded (16 MiB).

// Writes all of `text` to the pipe; false when the reader stopped reading.
bool writeAll(int fd, const std::string& text);
// Reads the pipe to its end; fails when the writer took too long or wrote too much.
Result<std::string> readAll(int fd);

}  // namespace velmor::platform
