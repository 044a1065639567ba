#pragma once

#include "base/result.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace velmor::media {

// A program we started (ffmpeg), with its standard input connected to us and its standard
// output and error read by a thread of ours for as long as it runs. Long runs write more
// diagnostics than a pipe holds; a program left blocked on a full pipe would never finish
// its file.
class ExternalProgram {
public:
    // Starts argv[0], looked up on PATH when it has no slash. The error is the reason the
    // program could not be started.
    static Result<std::unique_ptr<ExternalProgram>> start(const std::vector<std::string>& argv);

    // A program still running at this point was abandoned by its owner: it is killed and
    // reaped so that it neither lingers nor becomes a zombie.
    ~ExternalProgram();
    ExternalProgram(const ExternalProgram&) = delete;
    ExternalProgram& operator=(const ExternalProgram&) = delete;

    // Writes to the program's standard input; false when it no longer reads it.
    bool sendInput(std::string_view text);
    void signal(int number);

    // The exit status once the program has ended within `limit` (128 + the signal number
    // when a signal ended it); nothing while it still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    // Blocks until the program has ended.
    int waitForExit();
    bool running();

    // Whether the program has written anything to standard output yet.
    bool wroteOutput() const { return wroteOutput_; }
    // The beginning of what the program wrote to standard error (up to 64 KiB), and its
    // last line that held text.
    std::string diagnosticsHead() const;
    std::string lastDiagnosticLine() const;

private:
    ExternalProgram(pid_t pid, int input, int output, int errors);
    void drain(int output, int errors);
    std::optional<int> reap(bool block);

    pid_t pid_;
    int input_;
    std::optional<int> status_;
    std::atomic<bool> wroteOutput_ = false;
    std::thread drainer_;
    mutable std::mutex diagnosticsMutex_;
    std::string head_;
    std::string tail_;
};

}  // namespace velmor::media
