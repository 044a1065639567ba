#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace velmor::shortcuts {

// How the detached process tells the waiting one how its start went.
class StartReport {
public:
    explicit StartReport(int fd) : fd_(fd) {}
    // Up and running: the waiting process may return.
    void ready();
    // Could not start; `reason` is what the waiting process prints.
    void failed(const std::string& reason);

private:
    int fd_;
};

// Runs `body` in a process of its own that outlives this one (a dialog that stays up, a
// clipboard owner that serves the copied text), with its standard streams on /dev/null
// so whoever reads this process's output is not kept waiting by it. Waits until the body
// reports its start: 0 when it is ready; otherwise prints the reason on standard error and
// answers 1. Call only while this process has a single thread and no display connection.
int runDetached(const std::function<void(StartReport&)>& body, std::chrono::seconds startTimeout);

}  // namespace velmor::shortcuts
