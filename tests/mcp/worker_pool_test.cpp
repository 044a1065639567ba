// The tool-call threads: every accepted task runs, a full pool refuses, and the pool's end
// waits for what runs.
#include "mcp/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace velmor::mcp {
namespace {

// Tasks that stay running until the test lets them go, counting how many started and ended.
class HeldTasks {
public:
    std::function<void()> task() {
        return [this] {
            std::unique_lock lock(mutex_);
            ++started_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
            ++ended_;
            changed_.notify_all();
        };
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    // Whether `count` tasks have started within a generous bound.
    bool started(int count) { return reached(started_, count); }
    bool ended(int count) { return reached(ended_, count); }
    int endedNow() {
        std::lock_guard lock(mutex_);
        return ended_;
    }

private:
    bool reached(const int& counter, int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return counter >= count; });
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    int started_ = 0, ended_ = 0;
    bool released_ = false;
};

TEST(WorkerPool, RunsTasksSideBySideUpToTheCeilingQueuesTheNextAndRefusesBeyondTheQueue) {
    HeldTasks held;
    {
        WorkerPool pool(/*maxRunning=*/2, /*maxQueued=*/1, /*keepWarm=*/1);
        ASSERT_TRUE(pool.tryPost(held.task()));
        ASSERT_TRUE(pool.tryPost(held.task()));
        EXPECT_TRUE(held.started(2));  // neither waits for the other
        EXPECT_TRUE(pool.tryPost(held.task()));
        EXPECT_FALSE(pool.tryPost(held.task()));
        held.release();
        EXPECT_TRUE(held.ended(3));  // the queued one ran once a thread was free
    }
    EXPECT_EQ(held.endedNow(), 3);
}

TEST(WorkerPool, AThreadLeftIdleTakesTheNextTaskAndTheEndWaitsForRunningTasks) {
    std::atomic<int> ran = 0;
    HeldTasks held;
    std::thread releaser;
    {
        WorkerPool pool(/*maxRunning=*/1, /*maxQueued=*/0, /*keepWarm=*/1);
        ASSERT_TRUE(pool.tryPost([&] { ++ran; }));
        // The one thread finishes and waits idle; the next task is handed to it.
        for (int attempt = 0; attempt < 1000 && !pool.tryPost(held.task()); ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(held.started(1));
        EXPECT_EQ(ran, 1);
        EXPECT_FALSE(pool.tryPost([&] { ++ran; }));  // its one thread is busy and there is no queue
        // Let go only once the pool is ending, so that its end has a running task to wait for.
        releaser = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            held.release();
        });
    }
    EXPECT_EQ(held.endedNow(), 1);
    releaser.join();
}

}  // namespace
}  // namespace velmor::mcp
