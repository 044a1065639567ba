#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace velmor::mcp {

// Threads for tool calls, which may block for minutes. The pool grows whenever a task
// arrives and no thread is idle, so a long call never delays another, up to a ceiling of
// running tasks; beyond it tasks wait in a bounded queue. Threads beyond the few kept warm
// leave after a while without work.
class WorkerPool {
public:
    explicit WorkerPool(size_t maxRunning = 64, size_t maxQueued = 64, size_t keepWarm = 4,
                        std::chrono::seconds idleExit = std::chrono::seconds(30));
    // Waits for the tasks already running, then for every thread to leave.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs the task, at once or after those queued before it; false (and the task dropped)
    // when the ceiling is reached and the queue is full.
    [[nodiscard]] bool tryPost(std::function<void()> task);

private:
    void run();

    const size_t maxRunning_;
    const size_t maxQueued_;
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
