#pragma once

#include <cstddef>
#include <istream>
#include <string>

namespace velmor::bridge {

// An input line may be this long; a longer one is refused without being held whole.
inline constexpr size_t kMaxInputLineBytes = 16 * 1024 * 1024;

struct InputLine {
    std::string text;      // the line without its terminator; only the first bytes when too long
    bool tooLong = false;  // the rest of the line was read and dropped
};

// Reads one line of at most `maxBytes` bytes. False at end of input with nothing read.
bool readBoundedLine(std::istream& input, InputLine& line, size_t maxBytes = kMaxInputLineBytes);

}  // namespace velmor::bridge
