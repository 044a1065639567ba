#pragma once

#include "bridge/http_forwarder.h"
#include "bridge/stdout_lines.h"

#include <istream>

namespace velmor::bridge {

// Forwards every message line of `input` as soon as it is read, until end of input, then
// returns. Nothing waits for an answer: the forwarder writes each when it comes.
void forwardInputLines(std::istream& input, HttpForwarder& forwarder, StdoutLines& stdoutLines);

}  // namespace velmor::bridge
