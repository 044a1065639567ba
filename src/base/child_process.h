#pragma once

#include "base/guarded.h"
#include "base/result.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace velmor {

struct ChildOptions {
    // What the program reads on standard input, which is closed once all of it is sent.
    // Without it, standard input stays open for sendInput().
    std::optional<std::string> input;
    // Standard output and the beginning of standard error are kept up to these sizes;
    // the rest is read and dropped, so a chatty program can neither block nor exhaust memory.
    size_t outputLimit = 16 * 1024 * 1024;
    size_t errorLimit = 16 * 1024 * 1024;
    // For launchers whose offspring outlive them (a browser started by xdg-open): the three
    // streams go to /dev/null, so nothing waits for the offspring to close them.
    bool discardStreams = false;
    // Sent to the program when this process ends, however it ends; 0 for none.
    int parentDeathSignal = 0;
    // How runChild stops the program at its limit or when its call is cancelled (the signal
    // goes to its process group). A program with children of their own groups to stop asks
    // for SIGTERM and stops them itself.
    int stopSignal = SIGKILL;
};

// A program we started, with its standard streams connected to us and read by a thread of
// ours for as long as it runs: a program left blocked on a full pipe would never finish.
class ChildProcess {
public:
    // The error is the reason the program could not be started.
    static Result<std::unique_ptr<ChildProcess>> start(const std::vector<std::string>& argv,
                                                       ChildOptions options = {});

    // A program still running at this point was abandoned by its owner: its process group
    // is killed and it is reaped, so that it neither lingers nor becomes a zombie.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Writes to standard input left open; false when the program no longer reads it.
    // Standard input is a socket, so a program that has gone means EPIPE here, not SIGPIPE.
    bool sendInput(std::string_view text);
    // To the program's process group: the program and whatever it started.
    void signal(int number);

    // The exit status once the program has ended and its streams are read to their end
    // within `limit` (128 + the signal number when a signal ended it); nothing before.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    int waitForExit();
    // Whether a signal, rather than the program itself, ended it.
    bool endedBySignal() const;

    // Also the id of its process group. With a parentDeathSignal, the guardian's (see launchChild).
    pid_t pid() const { return pid_; }
    bool wroteOutput() const { return wroteOutput_; }
    std::string output() const;
    // The beginning of what the program wrote to standard error, and its last line that
    // held text (kept apart, whatever errorLimit keeps).
    std::string errors() const;
    std::string lastErrorLine() const;

private:
    ChildProcess(pid_t pid, int input, int stop, const ChildOptions& options);
    void watch(int output, int errors, std::optional<std::string> input);
    void keep(bool isOutput, const char* bytes, size_t size);
    void reap();

    const pid_t pid_;
    const int input_;  // our end of its standard input; -1 when discarded
    const int stop_;   // tells the watching thread to stop reading an abandoned program
    const size_t outputLimit_, errorLimit_;
    std::atomic<bool> wroteOutput_ = false;

    struct State {
        std::optional<int> status;  // set once the program is reaped
        bool endedBySignal = false;
        std::string output, errors, errorTail;
    };
    Guarded<State> state_;
    std::condition_variable ended_;
    std::thread watcher_;
};

}  // namespace velmor
