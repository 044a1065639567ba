#include "mcp/worker_pool.h"

#include <algorithm>
#include <malloc.h>
#include <optional>
#include <thread>

namespace velmor::mcp {

WorkerPool::WorkerPool(size_t maxRunning, size_t maxQueued, size_t keepWarm, std::chrono::seconds idleExit)
    : maxRunning_(std::max<size_t>(maxRunning, 1)), maxQueued_(maxQueued), keepWarm_(keepWarm), idleExit_(idleExit) {}

WorkerPool::~WorkerPool() {
    state_.withLocked([&](State& state) {
        state.stopping = true;
        wake_.notify_all();
    });
    state_.withLockedWhen(allGone_, [](const State& state) { return state.threads == 0; }, [](State&) {});
}

bool WorkerPool::tryPost(Task task) {
    return state_.withLocked([&](State& state) {
        if (state.idle > 0) {
            state.tasks.push_back(std::move(task));
            --state.idle;  // claimed now, so a second post before it wakes starts another thread
            wake_.notify_one();
            return true;
        }
        if (state.threads < maxRunning_) {
            state.tasks.push_back(std::move(task));
            ++state.threads;
            std::thread([this] { run(); }).detach();
            return true;
        }
        // Every thread is busy: the task waits for one of them, if there is room.
        if (state.tasks.size() >= maxQueued_) return false;
        state.tasks.push_back(std::move(task));
        return true;
    });
}

void WorkerPool::run() {
    // Each task is dropped at the end of its turn, so what it holds is released outside the lock.
    while (Task task = nextTask()) task();
    // A burst of requests leaves freed memory in the allocator's per-thread arenas; hand
    // it back once the burst is over.
    malloc_trim(0);
}

WorkerPool::Task WorkerPool::nextTask() {
    auto takeFirst = [](State& state) {
        Task task = std::move(state.tasks.front());
        state.tasks.pop_front();
        return task;
    };
    std::optional<Task> next = state_.withLocked([&](State& state) -> std::optional<Task> {
        if (!state.tasks.empty()) return takeFirst(state);
        if (state.stopping) return leave(state);
        ++state.idle;
        return std::nullopt;
    });
    auto workOrStop = [](const State& state) { return !state.tasks.empty() || state.stopping; };
    while (!next) {
        next = state_.withLockedWhen(wake_, idleExit_, workOrStop, [&](State& state) -> std::optional<Task> {
            // A task here was claimed for an idle thread by tryPost, which counted it busy.
            if (!state.tasks.empty()) return takeFirst(state);
            // Timed out or stopping: this thread still counts as idle, so give that up.
            if (state.stopping || state.threads > keepWarm_) {
                --state.idle;
                return leave(state);
            }
            return std::nullopt;
        });
    }
    return std::move(*next);
}

WorkerPool::Task WorkerPool::leave(State& state) {
    if (--state.threads == 0) allGone_.notify_all();
    return {};
}

}  // namespace velmor::mcp
