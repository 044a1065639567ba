#pragma once

#include "base/guarded.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>

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
    using Task = std::function<void()>;
    struct State {
        std::deque<Task> tasks;
        size_t threads = 0;
        size_t idle = 0;
        bool stopping = false;
    };

    void run();
    // The task for this thread to run next, waiting for one when none is queued; none when
    // the thread is to leave, and then it no longer counts.
    Task nextTask();
    // This thread stops counting (the last one out wakes the destructor); answers no task.
    Task leave(State& state);

    const size_t maxRunning_;
    const size_t maxQueued_;
    const size_t keepWarm_;
    const std::chrono::seconds idleExit_;
    Guarded<State> state_;
    std::condition_variable wake_;
    std::condition_variable allGone_;
};

}  // namespace velmor::mcp
