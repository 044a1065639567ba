#include "base/child_launch.h"

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <future>
#include <mutex>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace velmor {

namespace {

// A child's parent-death signal fires when the thread that forked it ends, not when the
// process does, and tool calls run on threads that come and go. Children that must end
// with this process are therefore forked on this thread, which is never ended. (A guardian
// process between us and the child would have had to relay signals and exit statuses.)
class LifelongThread {
public:
    LifelongThread() {
        std::thread([this] { serve(); }).detach();
    }

    void run(std::function<void()> job) {
        std::packaged_task<void()> task(std::move(job));
        auto done = task.get_future();
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake_.notify_one();
        done.get();
    }

private:
    [[noreturn]] void serve() {
        for (;;) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !tasks_.empty(); });
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void()>> tasks_;
};

LifelongThread& lifelongThread() {
    // Never destroyed: its thread has to outlast the static destructors run at exit.
    static auto* thread = new LifelongThread;
    return *thread;
}

// Between fork and exec a multithreaded process may make async-signal-safe calls only:
// another thread may have held any lock at the moment of the fork. Everything the child
// needs is therefore prepared before. Answers the child's pid or -errno.
pid_t forkAndExec(const char* path, char* const argv[], ChildStreams streams, int parentDeathSignal) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return -errno;
    // Blocked across the fork, so that no handler of ours runs in the child before the
    // defaults are back.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        for (int number = 1; number < NSIG; ++number) ::sigaction(number, &defaults, nullptr);
        ::setpgid(0, 0);
        // Set before the check: a parent that died just before it would otherwise go unnoticed.
        if (parentDeathSignal && (::prctl(PR_SET_PDEATHSIG, parentDeathSignal) != 0 || ::getppid() != parent))
            ::_exit(127);
        const int wanted[3] = {streams.input, streams.output, streams.errors};
        for (int fd = 0; fd < 3; ++fd) {
            if (wanted[fd] == fd) ::fcntl(fd, F_SETFD, 0);
            else ::dup2(wanted[fd], fd);
        }
        // Closed at exec rather than now: the report pipe must stay open until then.
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(path, argv, environ);
        int error = errno;
        (void)!::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return -forkError;
    }
    // The report pipe closes at a successful exec; before that the child tells why not.
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got != static_cast<ssize_t>(sizeof error)) return pid;
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return -error;
}

}  // namespace

std::optional<std::string> programOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        struct stat file {};
        if (end > start && ::stat(candidate.c_str(), &file) == 0 && S_ISREG(file.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

Result<pid_t> launchChild(const std::vector<std::string>& argv, ChildStreams streams, int parentDeathSignal) {
    if (argv.empty() || argv.front().empty()) return fail(std::strerror(ENOENT));
    auto path = argv.front().find('/') == std::string::npos ? programOnPath(argv.front()) : argv.front();
    if (!path) return fail(std::strerror(ENOENT));
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    auto launch = [&] { pid = forkAndExec(path->c_str(), args.data(), streams, parentDeathSignal); };
    if (parentDeathSignal) lifelongThread().run(launch);
    else launch();
    if (pid < 0) return fail(std::strerror(-pid));
    return pid;
}

}  // namespace velmor
