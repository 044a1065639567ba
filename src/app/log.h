#pragma once

#include <string>
#include <string_view>

namespace velmor {

// The application's one logging facility. Every line goes to the log file, appended by a
// single writer thread so entries never interleave, and to the system log.
class Log {
public:
    static constexpr const char* kPath = "/tmp/velmor.log";

    static void info(std::string_view category, std::string_view message);
    static void error(std::string_view category, std::string_view message);

    // Blocks until every entry queued so far is in the file. Used at shutdown.
    static void flush();
};

// Appends one entry to a log file. Never follows a symbolic link placed at the path, so a
// planted link cannot redirect writes elsewhere. Failures are silent: logging never fails
// its caller.
void appendLogEntry(const std::string& path, std::string_view entry);

// "2026-12-05T19:03:00Z" for the current time.
std::string isoTimestampNow();

}  // namespace velmor
