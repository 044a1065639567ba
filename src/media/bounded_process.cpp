#include "media/bounded_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmor::media {

namespace {

constexpr size_t kErrorTail = 4096;

struct Pipe {
    int read = -1, write = -1;
    bool open() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
};

void closeFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace

ProcessOutcome runBounded(const std::vector<std::string>& argv, const std::string& input,
                          std::chrono::milliseconds limit, size_t outputLimit,
                          const std::function<void(pid_t)>& onStart) {
    ProcessOutcome outcome;
    Pipe in, out, err;
    if (!in.open() || !out.open() || !err.open()) {
        for (int* fd : {&in.read, &in.write, &out.read, &out.write, &err.read, &err.write}) closeFd(*fd);
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.read, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, 1);
    posix_spawn_file_actions_adddup2(&actions, err.write, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    // A broken pipe must end the helper, not linger as an ignored signal inherited from us.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    closeFd(in.read);
    closeFd(out.write);
    closeFd(err.write);
    if (spawned != 0) {
        closeFd(in.write);
        closeFd(out.read);
        closeFd(err.read);
        return outcome;
    }
    outcome.started = true;
    if (onStart) onStart(pid);

    for (int fd : {in.write, out.read, err.read}) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    if (input.empty()) closeFd(in.write);
    size_t written = 0;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[65536];
    while (out.read >= 0 || err.read >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            outcome.timedOut = true;
            break;
        }
        pollfd fds[3];
        int count = 0;
        for (int fd : {in.write, out.read, err.read})
            if (fd >= 0) fds[count++] = {fd, static_cast<short>(fd == in.write ? POLLOUT : POLLIN), 0};
        if (poll(fds, count, static_cast<int>(std::min<long long>(left.count(), 1000))) < 0 && errno != EINTR) break;
        for (int i = 0; i < count; ++i) {
            if (!fds[i].revents) continue;
            int fd = fds[i].fd;
            if (fd == in.write) {
                ssize_t n = write(fd, input.data() + written, input.size() - written);
                if (n > 0) written += n;
                if ((n < 0 && errno != EAGAIN) || written == input.size()) closeFd(in.write);
                continue;
            }
            ssize_t n = read(fd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                closeFd(fd == out.read ? out.read : err.read);
            } else if (n > 0 && fd == out.read) {
                outcome.output.append(buffer, std::min<size_t>(n, outputLimit - outcome.output.size()));
            } else if (n > 0) {
                outcome.errors.append(buffer, n);
                if (outcome.errors.size() > kErrorTail) outcome.errors.erase(0, outcome.errors.size() - kErrorTail);
            }
        }
    }
    closeFd(in.write);
    closeFd(out.read);
    closeFd(err.read);
    // A helper that closed its output may still be running: it gets the rest of the limit.
    int status = 0;
    while (!outcome.timedOut) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        if (std::chrono::steady_clock::now() >= deadline) outcome.timedOut = true;
        else usleep(5000);
    }
    if (outcome.timedOut) {
        kill(-pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (WIFEXITED(status)) outcome.exitStatus = WEXITSTATUS(status);
    return outcome;
}

}  // namespace velmor::media
