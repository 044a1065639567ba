#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmor {

// The application's one logging facility. Every line goes to the log file, appended by a
// single writer thread so entries never interleave, and to the system log. Control
// characters in categories and messages are escaped, so a value taken from outside (a
// page title with a line break) cannot forge or split log lines.
class Log {
public:
    static constexpr const char* kPath = "/tmp/velmor.log";

    // The file entries go to: kPath, or $XDG_RUNTIME_DIR/velmor.log when kPath was refused
    // (empty when neither can be used; entries then reach only the system log).
    static std::string path();

    static void info(std::string_view category, std::string_view message);
    static void error(std::string_view category, std::string_view message);

    // Blocks until every entry queued so far is in the file. Used at shutdown.
    static void flush();
};

// Why a log file at `path` must not be written: a symbolic link, something other than a
// regular file, or a file of another user (in a shared folder such as /tmp, anyone can
// plant one to read what is logged, or to have it written where they choose). Nothing
// when the file is ours or does not exist yet.
std::optional<std::string> logFileRefusal(const std::string& path);

// Where the log goes: `preferred` unless refused, else velmor.log in `runtimeDir` (the
// user's private run-time folder), else nowhere (empty path). `refusal` says why the
// preferred file was passed over.
struct LogFileChoice {
    std::string path;
    std::optional<std::string> refusal;
};
LogFileChoice chooseLogFile(const std::string& preferred, const char* runtimeDir);

// Appends one entry to a log file, creating it readable by its owner only. Never follows
// a symbolic link and never writes into another user's file; false when the file was
// refused or could not be written. Logging never fails its caller.
bool appendLogEntry(const std::string& path, std::string_view entry);

// The text with control characters written as escapes ("\n", "\r", "\t", "\x1b",
// "\u0085"), so that it stays on one log line.
std::string escapeControlCharacters(std::string_view text);

// "2026-12-05T19:03:00Z" for the current time.
std::string isoTimestampNow();

}  // namespace velmor
