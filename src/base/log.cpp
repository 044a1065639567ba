#include "base/log.h"

#include "base/guarded.h"
#include "base/paths.h"
#include "base/private_folder.h"
#include "base/write_all.h"

#include <cerrno>
#include <cstdint>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fcntl.h>
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
        queue_.withLocked([&](Queue& queue) { queue.pending.push_back(std::move(entry)); });
        wake_.notify_one();
    }

    void flush() {
        queue_.withLockedWhen(
            drained_, [](const Queue& queue) { return queue.pending.empty() && !queue.writing; }, [](Queue&) {});
    }

    const std::string& path() const { return path_; }

private:
    LogWriter() : path_(paths::logFile()) {
        openlog("velmor", LOG_PID, LOG_USER);
        tightenLogFolder(parentFolder(path_));
        std::thread([this] { run(); }).detach();
    }

    // The folder may have been made by another program, open to everyone; what users
    // typed reaches the log, so it is kept private as the file is.
    static void tightenLogFolder(const std::string& folder) {
        if (!makePrivateDirectories(folder)) return;
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return;
        struct stat status{};
        if (::fstat(fd, &status) == 0 && status.st_uid == ::geteuid() && (status.st_mode & 077) != 0)
            ::fchmod(fd, status.st_mode & 0700);
        ::close(fd);
    }

    // Said once, on standard error and in the system log, so that whoever looks for the
    // file learns why it stays empty.
    void announceUnwritableFile() {
        std::string line = "[ERROR][app] Log file " + path_ + " cannot be written; logging to the system log only";
        std::fprintf(stderr, "velmor: %s\n", line.c_str());
        syslog(LOG_ERR, "%s", line.c_str());
    }

    void run() {
        for (;;) {
            std::string entry = queue_.withLockedWhen(
                wake_, [](const Queue& queue) { return !queue.pending.empty(); },
                [](Queue& queue) {
                    std::string first = std::move(queue.pending.front());
                    queue.pending.pop_front();
                    queue.writing = true;
                    return first;
                });
            if (!appendLogEntry(path_, entry) && !announced_) {
                announced_ = true;
                announceUnwritableFile();
            }
            queue_.withLocked([&](Queue& queue) {
                queue.writing = false;
                if (queue.pending.empty()) drained_.notify_all();
            });
        }
    }

    struct Queue {
        std::deque<std::string> pending;
        bool writing = false;  // an entry is being written, outside the queue
    };

    const std::string path_;
    bool announced_ = false;  // used by the writer thread alone
    Guarded<Queue> queue_;
    std::condition_variable wake_;
    std::condition_variable drained_;
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

namespace {

int openLogFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO planted at the path must not hang the writer.
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
}

}  // namespace

bool appendLogEntry(const std::string& path, std::string_view entry, size_t rotationBytes) {
    int fd = openLogFile(path);
    // The folder may have been removed while running.
    if (fd < 0 && errno == ENOENT && makePrivateDirectories(parentFolder(path))) fd = openLogFile(path);
    if (fd < 0) return false;
    struct stat status{};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
        ::close(fd);
        return false;
    }
    if (status.st_size > 0 && static_cast<size_t>(status.st_size) + entry.size() > rotationBytes) {
        ::close(fd);
        if (::rename(path.c_str(), (path + ".1").c_str()) != 0) return false;
        // The fresh file takes the entry whatever its size.
        return appendLogEntry(path, entry, SIZE_MAX);
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
