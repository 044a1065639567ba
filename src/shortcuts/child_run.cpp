#include "shortcuts/child_run.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmor::shortcuts {

namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
    int read = -1, write = -1;
    bool open() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    void close() {
        if (read >= 0) ::close(read);
        if (write >= 0) ::close(write);
        read = write = -1;
    }
};

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Sends what is left of `input` without blocking; closes the pipe when all is sent or the
// child stopped reading.
void feed(int& fd, const std::string& input, size_t& sent) {
    while (sent < input.size()) {
        ssize_t n = ::write(fd, input.data() + sent, input.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return;
        } else {
            break;
        }
    }
    closeFd(fd);
}

bool drain(int& fd, std::string& into, size_t limit) {
    char buffer[65536];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) {
        closeFd(fd);
        return false;
    }
    size_t room = limit > into.size() ? limit - into.size() : 0;
    into.append(buffer, std::min(room, static_cast<size_t>(n)));
    return true;
}

}  // namespace

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

ChildOutcome runChild(const ChildRequest& request) {
    ChildOutcome outcome;
    Pipe in, out, err;
    if (!in.open() || !out.open() || !err.open()) {
        outcome.err = std::string("cannot make pipes: ") + std::strerror(errno);
        in.close(), out.close(), err.close();
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (request.discardStreams) {
        for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    } else {
        posix_spawn_file_actions_adddup2(&actions, in.read, 0);
        posix_spawn_file_actions_adddup2(&actions, out.write, 1);
        posix_spawn_file_actions_adddup2(&actions, err.write, 2);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // The child starts with the default signal handling, whatever this process ignores.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    // A group of its own, so a time-out ends whatever the child started as well.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(request.program.c_str()));
    for (const auto& arg : request.args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, request.program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    closeFd(in.read);
    closeFd(out.write);
    closeFd(err.write);
    if (failed != 0) {
        outcome.err = "cannot start " + request.program + ": " + std::strerror(failed);
        in.close(), out.close(), err.close();
        return outcome;
    }

    ::fcntl(in.write, F_SETFL, O_NONBLOCK);
    size_t sent = 0;
    if (request.input.empty() || request.discardStreams) closeFd(in.write);
    if (request.discardStreams) closeFd(out.read), closeFd(err.read);
    std::optional<Clock::time_point> deadline;
    if (request.timeout) deadline = Clock::now() + *request.timeout;
    bool timedOut = false;
    while (out.read >= 0 || err.read >= 0) {
        pollfd fds[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {in.write, POLLOUT, 0}};
        int wait = -1;
        if (deadline) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0) {
                timedOut = true;
                break;
            }
            wait = static_cast<int>(left);
        }
        if (::poll(fds, 3, wait) < 0 && errno != EINTR) break;
        if (fds[0].revents) drain(out.read, outcome.out, request.maxOutput);
        if (fds[1].revents) drain(err.read, outcome.err, request.maxOutput);
        if (fds[2].revents) feed(in.write, request.input, sent);
    }
    in.close(), out.close(), err.close();
    int status = 0;
    for (;;) {
        if (timedOut) ::kill(-pid, SIGKILL);
        pid_t done = ::waitpid(pid, &status, timedOut || !deadline ? 0 : WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        if (done == 0 && Clock::now() >= *deadline) timedOut = true;
        else if (done == 0) ::usleep(10000);
    }
    outcome.out = trimmed(outcome.out);
    outcome.err = trimmed(outcome.err);
    if (timedOut) {
        outcome.status = -1;
        outcome.err = request.program + " did not finish within " +
                      std::to_string(request.timeout->count() / 1000) + " s" +
                      (outcome.err.empty() ? "" : ": " + outcome.err);
    } else {
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return outcome;
}

}  // namespace velmor::shortcuts
