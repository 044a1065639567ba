#pragma once

#include <string>

namespace velmor::test {

// Log entries written since `mark` (a size of the log file taken earlier).
size_t logMark();
std::string logSince(size_t mark);

}  // namespace velmor::test
