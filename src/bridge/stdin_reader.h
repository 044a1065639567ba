#pragma once

#include "bridge/http_forwarder.h"
#include "bridge/stdout_lines.h"

#include <istream>

namespace velmor::bridge {

// Forwards every message line of `input` until end of input, then returns. Requests go
// one at a time: the next line is read only after the answer to the previous one has been
// written, so answers come out in request order. Notifications are sent and not waited for.
void forwardInputLines(std::istream& input, HttpForwarder& forwarder, StdoutLines& stdoutLines);

}  // namespace velmor::bridge
