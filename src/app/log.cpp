#include "app/log.h"

#include <condition_variable>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <mutex>
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

private:
    LogWriter() {
        openlog("velmor", LOG_PID, LOG_USER);
        std::thread([this] { run(); }).detach();
    }

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !pending_.empty(); });
            std::string entry = std::move(pending_.front());
            pending_.pop_front();
            writing_ = true;
            lock.unlock();
            appendLogEntry(Log::kPath, entry);
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
};

void write(int priority, std::string line) {
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

void appendLogEntry(const std::string& path, std::string_view entry) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const char* data = entry.data();
    size_t left = entry.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n <= 0) break;
        data += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
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
