#include "shortcuts/detached_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmor::shortcuts {

namespace {

constexpr char kReady = '\x06';  // ACK; anything else written is the reason of a failure

void writeAll(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = ::write(fd, text.data() + sent, text.size() - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

}  // namespace

void StartReport::ready() {
    if (fd_ < 0) return;
    writeAll(fd_, std::string(1, kReady));
    ::close(fd_);
    fd_ = -1;
}

void StartReport::failed(const std::string& reason) {
    if (fd_ < 0) return;
    writeAll(fd_, reason);
    ::close(fd_);
    fd_ = -1;
}

int runDetached(const std::function<void(StartReport&)>& body, std::chrono::seconds startTimeout) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "cannot make a pipe: %s\n", std::strerror(errno));
        return 1;
    }
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child < 0) {
        std::fprintf(stderr, "cannot start a process: %s\n", std::strerror(errno));
        return 1;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        int null = ::open("/dev/null", O_RDWR);
        for (int fd : {0, 1, 2}) ::dup2(null, fd);
        if (null > 2) ::close(null);
        StartReport start(report[1]);
        body(start);
        start.failed("the process ended before it was ready");
        std::fflush(nullptr);
        ::_exit(0);
    }
    ::close(report[1]);
    std::string said;
    auto deadline = std::chrono::steady_clock::now() + startTimeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd fd{report[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) == 0) {
            said = "it did not start within " + std::to_string(startTimeout.count()) + " s";
            ::kill(child, SIGKILL);
            break;
        }
        char buffer[512];
        ssize_t n = ::read(report[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        said.append(buffer, static_cast<size_t>(n));
        if (said.size() > 4096) break;
    }
    ::close(report[0]);
    if (said.size() == 1 && said[0] == kReady) return 0;
    // A failed start ends the child; reap it so no zombie outlives this short process.
    ::waitpid(child, nullptr, WNOHANG);
    if (said.empty()) said = "the process ended before it was ready";
    std::fprintf(stderr, "%s\n", said.c_str());
    return 1;
}

}  // namespace velmor::shortcuts
