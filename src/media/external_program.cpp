#include "media/external_program.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmor::media {

namespace {

constexpr size_t kHeadLimit = 64 * 1024;
constexpr size_t kTailLimit = 4 * 1024;
constexpr auto kExitPoll = std::chrono::milliseconds(10);

struct Descriptors {
    int fds[2] = {-1, -1};
    ~Descriptors() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    int take(int which) { return std::exchange(fds[which], -1); }
};

std::string lastLineWithText(const std::string& text) {
    size_t end = text.find_last_not_of("\r\n \t");
    if (end == std::string::npos) return {};
    size_t begin = text.find_last_of("\r\n", end);
    begin = begin == std::string::npos ? 0 : begin + 1;
    return text.substr(begin, end + 1 - begin);
}

}  // namespace

Result<std::unique_ptr<ExternalProgram>> ExternalProgram::start(const std::vector<std::string>& argv) {
    if (argv.empty() || argv.front().empty()) return fail(std::strerror(ENOENT));
    // Standard input is a socket so that a write to a program that has already gone
    // fails with EPIPE instead of raising SIGPIPE in this process.
    Descriptors input, output, errors;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input.fds) != 0 || ::pipe2(output.fds, O_CLOEXEC) != 0 ||
        ::pipe2(errors.fds, O_CLOEXEC) != 0)
        return fail(std::strerror(errno));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input.fds[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output.fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors.fds[1], STDERR_FILENO);

    // The program starts with default signal handling, an empty mask and a process group of
    // its own, so a Ctrl+C meant for Velmor's terminal does not cut a recording short.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int number : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT}) sigaddset(&defaults, number);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int failure = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failure != 0) return fail(std::strerror(failure));

    return std::unique_ptr<ExternalProgram>(
        new ExternalProgram(pid, input.take(0), output.take(0), errors.take(0)));
}

ExternalProgram::ExternalProgram(pid_t pid, int input, int output, int errors) : pid_(pid), input_(input) {
    drainer_ = std::thread([this, output, errors] { drain(output, errors); });
}

ExternalProgram::~ExternalProgram() {
    if (!status_) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    if (drainer_.joinable()) drainer_.join();
    ::close(input_);
}

void ExternalProgram::drain(int output, int errors) {
    pollfd fds[2] = {{output, POLLIN, 0}, {errors, POLLIN, 0}};
    int open = 2;
    char buffer[8192];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (auto& fd : fds) {
            if (fd.fd < 0 || fd.revents == 0) continue;
            ssize_t got = ::read(fd.fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                ::close(fd.fd);
                fd.fd = -1;
                --open;
                continue;
            }
            if (fd.fd != errors) {
                wroteOutput_ = true;
                continue;
            }
            std::lock_guard lock(diagnosticsMutex_);
            if (head_.size() < kHeadLimit) head_.append(buffer, std::min(static_cast<size_t>(got), kHeadLimit - head_.size()));
            tail_.append(buffer, static_cast<size_t>(got));
            if (tail_.size() > kTailLimit) tail_.erase(0, tail_.size() - kTailLimit);
        }
    }
    for (auto& fd : fds)
        if (fd.fd >= 0) ::close(fd.fd);
}

std::optional<int> ExternalProgram::reap(bool block) {
    if (status_) return status_;
    int raw = 0;
    pid_t got;
    do {
        got = ::waitpid(pid_, &raw, block ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    } else if (got < 0) {
        status_ = 255;  // reaped elsewhere: nothing more can be learnt about it
    }
    // The program has closed its end of the pipes: what it wrote is read to the end
    // before anyone looks at it.
    if (status_ && drainer_.joinable()) drainer_.join();
    return status_;
}

bool ExternalProgram::sendInput(std::string_view text) {
    while (!text.empty()) {
        ssize_t sent = ::send(input_, text.data(), text.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        text.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

void ExternalProgram::signal(int number) {
    if (!status_) ::kill(pid_, number);
}

std::optional<int> ExternalProgram::waitForExit(std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(kExitPoll);
    }
    return status_;
}

int ExternalProgram::waitForExit() { return *reap(true); }

bool ExternalProgram::running() { return !reap(false); }

std::string ExternalProgram::diagnosticsHead() const {
    std::lock_guard lock(diagnosticsMutex_);
    return head_;
}

std::string ExternalProgram::lastDiagnosticLine() const {
    std::lock_guard lock(diagnosticsMutex_);
    return lastLineWithText(tail_);
}

}  // namespace velmor::media
