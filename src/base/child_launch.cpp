#include "base/child_launch.h"

#include "base/guarded.h"

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace velmor {

namespace {

// A child's parent-death signal fires when the thread that forked it ends, not when the
// process does, and tool calls run on threads that come and go. The guardian of a program
// that must end with this process (see guard()) is therefore forked on this thread, which
// is never ended.
class LifelongThread {
public:
    LifelongThread() {
        std::thread([this] { serve(); }).detach();
    }

    void run(std::function<void()> job) {
        std::packaged_task<void()> task(std::move(job));
        auto done = task.get_future();
        tasks_.withLocked([&](Tasks& tasks) { tasks.push_back(std::move(task)); });
        wake_.notify_one();
        done.get();
    }

private:
    [[noreturn]] void serve() {
        for (;;) {
            auto task = tasks_.withLockedWhen(
                wake_, [](const Tasks& tasks) { return !tasks.empty(); },
                [](Tasks& tasks) {
                    auto first = std::move(tasks.front());
                    tasks.pop_front();
                    return first;
                });
            task();
        }
    }

    using Tasks = std::deque<std::packaged_task<void()>>;
    Guarded<Tasks> tasks_;
    std::condition_variable wake_;
};

LifelongThread& lifelongThread() {
    // Never destroyed: its thread has to outlast the static destructors run at exit.
    static auto* thread = new LifelongThread;
    return *thread;
}

[[noreturn]] void reportAndExit(int report, int error) {
    (void)!::write(report, &error, sizeof error);
    ::_exit(127);
}

// The rest of a child's start, with its streams in place: default signal handling, then
// the program. The report pipe closes at a successful exec.
[[noreturn]] void becomeProgram(const char* path, char* const argv[], int report) {
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int number = 1; number < NSIG; ++number) ::sigaction(number, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(path, argv, environ);
    reportAndExit(report, errno);
}

// A guardian between this process and a program that must end with it. When this process
// dies, its child passes from dying thread to dying thread, and the kernel sends the death
// signal at each step; a program told twice to stop may stop without finishing its file
// (ffmpeg does). The guardian's death signal is SIGKILL, for which one is as good as many,
// and its death gives the program its own death signal exactly once: the guardian has a
// single thread. Until then the guardian blocks every signal (the program gets those sent
// to its group directly), waits for the program and ends as it ended, so its status is the
// program's.
[[noreturn]] void guard(const char* path, char* const argv[], int report, int deathSignal) {
    const pid_t guardian = ::getpid();
    const pid_t program = ::fork();
    if (program < 0) reportAndExit(report, errno);
    if (program == 0) {
        if (::prctl(PR_SET_PDEATHSIG, deathSignal) != 0 || ::getppid() != guardian) ::_exit(127);
        becomeProgram(path, argv, report);
    }
    for (int fd : {report, 0, 1, 2}) ::close(fd);
    int raw = 0;
    while (::waitpid(program, &raw, 0) < 0)
        if (errno != EINTR) ::_exit(255);
    if (WIFEXITED(raw)) ::_exit(WEXITSTATUS(raw));
    const int number = WTERMSIG(raw);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    ::sigaction(number, &defaults, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::kill(guardian, number);
    ::_exit(128 + number);
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
        ::setpgid(0, 0);
        // Set before the check: a parent that died just before it would otherwise go unnoticed.
        if (parentDeathSignal && (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)) ::_exit(127);
        const int wanted[3] = {streams.input, streams.output, streams.errors};
        for (int fd = 0; fd < 3; ++fd) {
            if (wanted[fd] == fd) ::fcntl(fd, F_SETFD, 0);
            else ::dup2(wanted[fd], fd);
        }
        // Everything else of ours is closed, but for the report pipe's writing end.
        ::close_range(3, report[1] - 1, 0);
        ::close_range(report[1] + 1, ~0U, 0);
        if (parentDeathSignal) guard(path, argv, report[1], parentDeathSignal);
        becomeProgram(path, argv, report[1]);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return -forkError;
    }
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
