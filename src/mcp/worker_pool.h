#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace velmor::mcp {

// Threads for tool calls, which may block for minutes. The pool grows whenever a task
// arrives and no thread is idle, so a long call never delays another; threads beyond the
// few kept warm leave after a while without work.
class WorkerPool {
public:
    explicit WorkerPool(size_t keepWarm = 4, std::chrono::seconds idleExit = std::chrono::seconds(30));
    // Waits for the tasks already running, then for every thread to leave.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void post(std::function<void()> task);

private:
    void run();

    const size_t keepWarm_;
    const std::chrono::seconds idleExit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable allGone_;
    std::deque<std::function<void()>> tasks_;
    size_t threads_ = 0;
    size_t idle_ = 0;
    bool stopping_ = false;
};

}  // namespace velmor::mcp
