#include "mcp/worker_pool.h"

#include <algorithm>
#include <malloc.h>
#include <thread>

namespace velmor::mcp {

WorkerPool::WorkerPool(size_t maxRunning, size_t maxQueued, size_t keepWarm, std::chrono::seconds idleExit)
    : maxRunning_(std::max<size_t>(maxRunning, 1)), maxQueued_(maxQueued), keepWarm_(keepWarm), idleExit_(idleExit) {}

WorkerPool::~WorkerPool() {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
    allGone_.wait(lock, [this] { return threads_ == 0; });
}

bool WorkerPool::tryPost(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (idle_ > 0) {
        tasks_.push_back(std::move(task));
        --idle_;  // claimed now, so a second post before it wakes starts another thread
        wake_.notify_one();
        return true;
    }
    if (threads_ < maxRunning_) {
        tasks_.push_back(std::move(task));
        ++threads_;
        std::thread([this] { run(); }).detach();
        return true;
    }
    // Every thread is busy: the task waits for one of them, if there is room.
    if (tasks_.size() >= maxQueued_) return false;
    tasks_.push_back(std::move(task));
    return true;
}

void WorkerPool::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            task = nullptr;  // release what the task holds outside the lock
            lock.lock();
            continue;
        }
        if (stopping_) break;
        ++idle_;
        bool woken = wake_.wait_for(lock, idleExit_, [this] { return !tasks_.empty() || stopping_; });
        if (!woken || tasks_.empty()) {
            // Timed out or stopping: this thread still counts as idle, so give that up.
            --idle_;
            if (stopping_ || threads_ > keepWarm_) break;
        }
    }
    if (--threads_ == 0) allGone_.notify_all();
    lock.unlock();
    // A burst of requests leaves freed memory in the allocator's per-thread arenas; hand
    // it back once the burst is over.
    malloc_trim(0);
}

}  // namespace velmor::mcp
