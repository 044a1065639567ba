#include "bridge/stdout_lines.h"

#include "base/write_all.h"
#include "bridge/diagnostics.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <poll.h>
#include <thread>

namespace velmor::bridge {

namespace {

// Whether a write of up to PIPE_BUF bytes would go through at once: a pipe that polls
// writable has at least that much room, and so have sockets and terminals that do.
bool writableNow(int fd) {
    pollfd descriptor{.fd = fd, .events = POLLOUT, .revents = 0};
    return ::poll(&descriptor, 1, 0) == 1 && (descriptor.revents & POLLOUT) && !(descriptor.revents & (POLLERR | POLLHUP));
}

}  // namespace

StdoutLines::StdoutLines(int fd) : fd_(fd) {
    std::thread([this] { writeLines(); }).detach();
}

void StdoutLines::write(std::string_view line) {
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line);
    text += '\n';
    std::lock_guard lock(mutex_);
    // With nothing before it, a short line that cannot block goes out at once, sparing the
    // writer thread's wake-up on the way of most answers.
    if (lines_.empty() && !writing_ && text.size() <= PIPE_BUF && writableNow(fd_)) {
        (void)writeAll(fd_, text);
        return;
    }
    // A line on its own always goes: one answer may be as large as the forwarder allows.
    if (queuedBytes_ > 0 && queuedBytes_ + text.size() > kQueueLimit) {
        if (!dropping_) log("Standard output is not being read; dropping lines until it is");
        dropping_ = true;
        return;
    }
    dropping_ = false;
    queuedBytes_ += text.size();
    lines_.push_back(std::move(text));
    queued_.notify_one();
}

void StdoutLines::writeLines() {
    std::unique_lock lock(mutex_);
    while (true) {
        queued_.wait(lock, [this] { return !lines_.empty(); });
        std::string text = std::move(lines_.front());
        lines_.pop_front();
        writing_ = true;
        lock.unlock();
        // A reader that went away is not told: there is nobody left to tell.
        (void)writeAll(fd_, text);
        lock.lock();
        writing_ = false;
        queuedBytes_ -= text.size();
        if (lines_.empty()) drained_.notify_all();
    }
}

void StdoutLines::exitProcess(int status) {
    {
        std::unique_lock lock(mutex_);
        (void)drained_.wait_for(lock, std::chrono::seconds(1), [this] { return lines_.empty() && !writing_; });
        // _Exit rather than exit: requests, notifications and reconnection timers may still
        // be in flight on other threads, and running destructors under them would be unsafe.
        // Nothing is buffered, since every line went out with write(2). The lock is kept, so
        // no line is started meanwhile.
        std::_Exit(status);
    }
}

}  // namespace velmor::bridge
