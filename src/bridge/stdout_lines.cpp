#include "bridge/stdout_lines.h"

#include "base/write_all.h"
#include "bridge/diagnostics.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <poll.h>
#include <thread>
#include <utility>

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
    bool startedDropping = queue_.withLocked([&](Queue& queue) {
        // With nothing before it, a short line that cannot block goes out at once, sparing the
        // writer thread's wake-up on the way of most answers. Written under the lock, so no
        // queued line can overtake it.
        if (queue.lines.empty() && !queue.writing && text.size() <= PIPE_BUF && writableNow(fd_)) {
            (void)writeAll(fd_, text);
            return false;
        }
        // A line on its own always goes: one answer may be as large as the forwarder allows.
        if (queue.bytes > 0 && queue.bytes + text.size() > kQueueLimit) return !std::exchange(queue.dropping, true);
        queue.dropping = false;
        queue.bytes += text.size();
        queue.lines.push_back(std::move(text));
        queued_.notify_one();
        return false;
    });
    if (startedDropping) log("Standard output is not being read; dropping lines until it is");
}

void StdoutLines::writeLines() {
    while (true) {
        std::string text = queue_.withLockedWhen(
            queued_, [](const Queue& queue) { return !queue.lines.empty(); },
            [](Queue& queue) {
                std::string first = std::move(queue.lines.front());
                queue.lines.pop_front();
                queue.writing = true;
                return first;
            });
        // A reader that went away is not told: there is nobody left to tell.
        (void)writeAll(fd_, text);
        queue_.withLocked([&](Queue& queue) {
            queue.writing = false;
            queue.bytes -= text.size();
            if (queue.lines.empty()) drained_.notify_all();
        });
    }
}

void StdoutLines::exitProcess(int status) {
    // _Exit rather than exit: requests, notifications and reconnection timers may still be in
    // flight on other threads, and running destructors under them would be unsafe. Nothing is
    // buffered, since every line went out with write(2). It is called under the lock, so no
    // line is started meanwhile.
    queue_.withLockedWhen(
        drained_, std::chrono::seconds(1), [](const Queue& queue) { return queue.lines.empty() && !queue.writing; },
        [&](Queue&) { std::_Exit(status); });
}

}  // namespace velmor::bridge
