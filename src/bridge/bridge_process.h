#pragma once

namespace velmor::bridge {

// Runs the bridge until standard input ends, then ends the process with status 0.
[[noreturn]] void runBridge();

}  // namespace velmor::bridge
