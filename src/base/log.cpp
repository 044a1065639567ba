#include "base/log.h"

#include "base/write_all.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <syslog.h>
#include <thread>
#include <unistd.h>

namespace velmor {

namespace {

// The serial queue of file writes. Created on first use and never destroyed, so that
// threads still logging while the process exits never touch a dead object.
class LogWriter {
public:
    static LogWriter& shared() {
        static LogWriter* writer = new LogWriter();
        return *writer;
    }

    void enqueue(std::string entry) {
        {
            std::lock_guard lock(mutex_);
            pending_.push_back(std::move(entry));
        }
        wake_.notify_one();
    }

    void flush() {
        std::unique_lock lock(mutex_);
        drained_.wait(lock, [this] { return pending_.empty() && !writing_; });
    }

    std::string path() {
        std::lock_guard lock(mutex_);
        return path_;
    }

private:
    LogWriter() {
        openlog("velmor", LOG_PID, LOG_USER);
        LogFileChoice choice = chooseLogFile(Log::kPath, std::getenv("XDG_RUNTIME_DIR"));
        path_ = choice.path;
        std::thread([this] { run(); }).detach();
        if (choice.refusal) announceRefusal(*choice.refusal);
    }

    // Said at once, in the file used instead, the system log and on standard error, so
    // whoever looks for the usual file learns where the log went.
    void announceRefusal(const std::string& reason) {
        std::string line = std::string("[ERROR][app] Log file ") + Log::kPath + " refused (" + reason + "); " +
                           (path_.empty() ? "logging to the system log only" : "logging to " + path_);
        std::fprintf(stderr, "velmor: %s\n", line.c_str());
        syslog(LOG_ERR, "%s", line.c_str());
        enqueue(isoTimestampNow() + " " + line + "\n");
    }

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !pending_.empty(); });
            std::string entry = std::move(pending_.front());
            pending_.pop_front();
            writing_ = true;
            std::string path = path_;
            lock.unlock();
            bool written = !path.empty() && appendLogEntry(path, entry);
            // The file was swapped for a link or a foreign file while running: move to
            // the private folder for good rather than feed it.
            if (!written && path == Log::kPath && logFileRefusal(path)) {
                std::string reason = logFileRefusal(path).value_or("");
                lock.lock();
                path_ = chooseLogFile(Log::kPath, std::getenv("XDG_RUNTIME_DIR")).path;
                lock.unlock();
                announceRefusal(reason);
            }
            lock.lock();
            writing_ = false;
            if (pending_.empty()) drained_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    std::deque<std::string> pending_;
    bool writing_ = false;
    std::string path_;
};

void write(int priority, std::string line) {
    line = escapeControlCharacters(line);
    LogWriter::shared().enqueue(isoTimestampNow() + " " + line + "\n");
    syslog(priority, "%s", line.c_str());
}

std::string joined(std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
    std::string s;
    s.reserve(a.size() + b.size() + c.size() + d.size());
    s.append(a).append(b).append(c).append(d);
    return s;
}

}  // namespace

void Log::info(std::string_view category, std::string_view message) {
    write(LOG_INFO, joined("[", category, "] ", message));
}

void Log::error(std::string_view category, std::string_view message) {
    write(LOG_ERR, joined("[ERROR][", category, "] ", message));
}

void Log::flush() { LogWriter::shared().flush(); }

std::string Log::path() { return LogWriter::shared().path(); }

std::optional<std::string> logFileRefusal(const std::string& path) {
    struct stat status{};
    if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
    if (S_ISLNK(status.st_mode)) return "it is a symbolic link";
    if (!S_ISREG(status.st_mode)) return "it is not a regular file";
    if (status.st_uid != ::geteuid()) return "it belongs to another user";
    return std::nullopt;
}

LogFileChoice chooseLogFile(const std::string& preferred, const char* runtimeDir) {
    std::optional<std::string> refusal = logFileRefusal(preferred);
    if (!refusal) return {preferred, std::nullopt};
    if (!runtimeDir || *runtimeDir != '/') return {"", refusal};
    return {std::string(runtimeDir) + "/velmor.log", refusal};
}

bool appendLogEntry(const std::string& path, std::string_view entry) {
    // O_NONBLOCK: opening a FIFO planted at the path must not hang the writer.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) return false;
    struct stat status{};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
        ::close(fd);
        return false;
    }
    // A file left by an earlier version may be readable by everyone.
    if ((status.st_mode & 077) != 0) ::fchmod(fd, status.st_mode & 0700);
    bool written = writeAll(fd, entry);
    ::close(fd);
    return written;
}

std::string escapeControlCharacters(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        // U+0080..U+009F (C1 controls, NEL among them) arrive as 0xC2 0x80..0x9F.
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
            static_cast<unsigned char>(text[i + 1]) >= 0x80) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned char>(text[++i]));
            escaped += code;
            continue;
        }
        if (c >= 0x20 && c != 0x7F) {
            escaped += static_cast<char>(c);
            continue;
        }
        switch (c) {
            case '\n': escaped += "\\n"; break;
            case '\r': escaped += "\\r"; break;
            case '\t': escaped += "\\t"; break;
            default: {
                char code[8];
                std::snprintf(code, sizeof code, "\\x%02x", c);
                escaped += code;
            }
        }
    }
    return escaped;
}

std::string isoTimestampNow() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace velmor
