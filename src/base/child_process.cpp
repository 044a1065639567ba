#include "base/child_process.h"

#include "base/child_launch.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmor {

namespace {

constexpr size_t kErrorTailLimit = 4 * 1024;

// Descriptors closed when they go out of scope unless taken.
struct Descriptors {
    int fds[2] = {-1, -1};
    ~Descriptors() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    int take(int which) { return std::exchange(fds[which], -1); }
};

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string lastLineWithText(const std::string& text) {
    size_t end = text.find_last_not_of("\r\n \t");
    if (end == std::string::npos) return {};
    size_t begin = text.find_last_of("\r\n", end);
    begin = begin == std::string::npos ? 0 : begin + 1;
    return text.substr(begin, end + 1 - begin);
}

}  // namespace

Result<std::unique_ptr<ChildProcess>> ChildProcess::start(const std::vector<std::string>& argv, ChildOptions options) {
    Descriptors input, output, errors, stop;
    stop.fds[0] = ::eventfd(0, EFD_CLOEXEC);
    if (stop.fds[0] < 0) return fail(std::strerror(errno));
    if (options.discardStreams) {
        input.fds[1] = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (input.fds[1] < 0) return fail(std::strerror(errno));
        output.fds[1] = errors.fds[1] = input.fds[1];
    } else if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input.fds) != 0 ||
               ::pipe2(output.fds, O_CLOEXEC) != 0 || ::pipe2(errors.fds, O_CLOEXEC) != 0) {
        return fail(std::strerror(errno));
    }
    auto pid = launchChild(argv, {input.fds[1], output.fds[1], errors.fds[1]}, options.parentDeathSignal);
    if (options.discardStreams) output.take(1), errors.take(1);
    if (!pid) return fail(pid.error());

    std::unique_ptr<ChildProcess> child(new ChildProcess(*pid, input.take(0), stop.take(0), options));
    child->watcher_ = std::thread(&ChildProcess::watch, child.get(), output.take(0), errors.take(0),
                                  std::move(options.input));
    return child;
}

ChildProcess::ChildProcess(pid_t pid, int input, int stop, const ChildOptions& options)
    : pid_(pid), input_(input), stop_(stop), outputLimit_(options.outputLimit), errorLimit_(options.errorLimit) {}

ChildProcess::~ChildProcess() {
    signal(SIGKILL);
    uint64_t one = 1;
    (void)!::write(stop_, &one, sizeof one);
    watcher_.join();
    ::close(stop_);
    if (input_ >= 0) ::close(input_);
}

// Feeds the input, reads both output streams to their end, then reaps the program.
void ChildProcess::watch(int output, int errors, std::optional<std::string> input) {
    size_t sent = 0;
    bool feeding = input && input_ >= 0;
    auto finishInput = [&] {
        if (feeding) ::shutdown(input_, SHUT_WR);
        feeding = false;
    };
    if (feeding && input->empty()) finishInput();
    char buffer[65536];
    while (output >= 0 || errors >= 0) {
        pollfd fds[4] = {{output, POLLIN, 0}, {errors, POLLIN, 0}, {feeding ? input_ : -1, POLLOUT, 0}, {stop_, POLLIN, 0}};
        if (::poll(fds, 4, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[3].revents) break;
        if (fds[2].revents) {
            ssize_t n = ::send(input_, input->data() + sent, input->size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) sent += static_cast<size_t>(n);
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || sent == input->size()) finishInput();
        }
        for (int k : {0, 1}) {
            if (!fds[k].revents) continue;
            int& fd = k == 0 ? output : errors;
            ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got <= 0) closeFd(fd);
            else keep(k == 0, buffer, static_cast<size_t>(got));
        }
    }
    // A program that closed its output streams but still reads learns that nothing more comes.
    finishInput();
    closeFd(output);
    closeFd(errors);
    reap();
}

void ChildProcess::keep(bool isOutput, const char* bytes, size_t size) {
    std::lock_guard lock(mutex_);
    if (isOutput) {
        wroteOutput_ = true;
        output_.append(bytes, std::min(size, outputLimit_ - std::min(outputLimit_, output_.size())));
        return;
    }
    errors_.append(bytes, std::min(size, errorLimit_ - std::min(errorLimit_, errors_.size())));
    errorTail_.append(bytes, size);
    if (errorTail_.size() > kErrorTailLimit) errorTail_.erase(0, errorTail_.size() - kErrorTailLimit);
}

void ChildProcess::reap() {
    // Waited for without reaping first: until the status is published under the lock, the
    // pid stays taken, so signal() never reaches a stranger that inherited it.
    siginfo_t info{};
    while (::waitid(P_PID, pid_, &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    std::lock_guard lock(mutex_);
    int raw = 0;
    pid_t got;
    do {
        got = ::waitpid(pid_, &raw, 0);
    } while (got < 0 && errno == EINTR);
    if (got == pid_) {
        endedBySignal_ = WIFSIGNALED(raw);
        status_ = endedBySignal_ ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
    } else {
        status_ = 255;  // reaped elsewhere: nothing more can be learnt about it
    }
    ended_.notify_all();
}

bool ChildProcess::sendInput(std::string_view text) {
    while (!text.empty()) {
        ssize_t sent = ::send(input_, text.data(), text.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        text.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

void ChildProcess::signal(int number) {
    std::lock_guard lock(mutex_);
    if (!status_) ::kill(-pid_, number);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    ended_.wait_for(lock, limit, [this] { return status_.has_value(); });
    return status_;
}

int ChildProcess::waitForExit() {
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [this] { return status_.has_value(); });
    return *status_;
}

bool ChildProcess::endedBySignal() const {
    std::lock_guard lock(mutex_);
    return endedBySignal_;
}

std::string ChildProcess::output() const {
    std::lock_guard lock(mutex_);
    return output_;
}

std::string ChildProcess::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

std::string ChildProcess::lastErrorLine() const {
    std::lock_guard lock(mutex_);
    return lastLineWithText(errorTail_);
}

}  // namespace velmor
