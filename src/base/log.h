#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor {

// The application's one logging facility. Every line goes to the log file, appended by a
// single writer thread so entries never interleave, and to the system log. Control
// characters in categories and messages are escaped, so a value taken from outside (a
// page title with a line break) cannot forge or split log lines.
class Log {
public:
    // The file is renamed to velmor.log.1 (replacing the one before) when an entry would
    // take it past this size, so the log never holds more than twice as much.
    static constexpr size_t kRotationBytes = 10 * 1024 * 1024;

    // The file entries go to: paths::logFile() as it was when the log was first used.
    static std::string path();

    static void info(std::string_view category, std::string_view message);
    static void error(std::string_view category, std::string_view message);

    // Blocks until every entry queued so far is in the file. Used at shutdown.
    static void flush();
};

// Appends one entry to a log file, creating it (and its missing folders) readable by its
// owner only; when the entry would take the file past `rotationBytes`, the file is first
// renamed to `path`.1. Never follows a symbolic link and never writes into another user's
// file or into something other than a regular file: false when the file was refused or
// could not be written. Logging never fails its caller.
bool appendLogEntry(const std::string& path, std::string_view entry, size_t rotationBytes = Log::kRotationBytes);

// The text with control characters written as escapes ("\n", "\r", "\t", "\x1b",
// "\u0085"), so that it stays on one log line.
std::string escapeControlCharacters(std::string_view text);

// "2026-12-05T19:03:00Z" for the current time.
std::string isoTimestampNow();

}  // namespace velmor
