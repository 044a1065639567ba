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

constexpr auto hasEnded = [](const auto& state) { return state.status.has_value(); };

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
    VELMOR_RETURN_IF_FAILED(pid);

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
    state_.withLocked([&](State& state) {
        if (isOutput) {
            wroteOutput_ = true;
            state.output.append(bytes, std::min(size, outputLimit_ - std::min(outputLimit_, state.output.size())));
            return;
        }
        state.errors.append(bytes, std::min(size, errorLimit_ - std::min(errorLimit_, state.errors.size())));
        state.errorTail.append(bytes, size);
        if (state.errorTail.size() > kErrorTailLimit)
            state.errorTail.erase(0, state.errorTail.size() - kErrorTailLimit);
    });
}

void ChildProcess::reap() {
    // Waited for without reaping first: until the status is published under the lock, the
    // pid stays taken, so signal() never reaches a stranger that inherited it.
    siginfo_t info{};
    while (::waitid(P_PID, pid_, &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    state_.withLocked([&](State& state) {
        int raw = 0;
        pid_t got;
        do {
            got = ::waitpid(pid_, &raw, 0);
        } while (got < 0 && errno == EINTR);
        if (got == pid_) {
            state.endedBySignal = WIFSIGNALED(raw);
            state.status = state.endedBySignal ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
        } else {
            state.status = 255;  // reaped elsewhere: nothing more can be learnt about it
        }
        ended_.notify_all();
    });
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
    state_.withLocked([&](const State& state) {
        if (!state.status) ::kill(-pid_, number);
    });
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit) {
    return state_.withLockedWhen(ended_, limit, hasEnded, [](const State& state) { return state.status; });
}

int ChildProcess::waitForExit() {
    return state_.withLockedWhen(ended_, hasEnded, [](const State& state) { return *state.status; });
}

bool ChildProcess::endedBySignal() const {
    return state_.withLocked([](const State& state) { return state.endedBySignal; });
}

std::string ChildProcess::output() const {
    return state_.withLocked([](const State& state) { return state.output; });
}

std::string ChildProcess::errors() const {
    return state_.withLocked([](const State& state) { return state.errors; });
}

std::string ChildProcess::lastErrorLine() const {
    return state_.withLocked([](const State& state) { return lastLineWithText(state.errorTail); });
}

}  // namespace velmor
