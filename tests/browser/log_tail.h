#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace velmor::test {

// The lines the application's log file gained since this object was made, without their
// timestamps ("[ws] Browser connected: ..."). Other processes may log at the same time, so
// tests look for lines that carry something unique to them.
class LogTail {
public:
    LogTail();
    std::vector<std::string> lines() const;
    bool has(const std::string& line) const;
    // Lines that contain `text` anywhere.
    std::vector<std::string> containing(const std::string& text) const;

private:
    off_t start_;
};

}  // namespace velmor::test
