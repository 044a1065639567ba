#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace velmor {

// Runs an action at most once per interval however often it is fired, and never loses the
// last firing: a firing within the interval after a run is answered by one more run when the
// interval is over. The delayed run happens on a thread of its own, started on first need.
class CoalescedTrigger {
public:
    CoalescedTrigger(std::chrono::milliseconds interval, std::function<void()> action);
    // Drops a delayed run that is still waiting.
    ~CoalescedTrigger();
    CoalescedTrigger(const CoalescedTrigger&) = delete;
    CoalescedTrigger& operator=(const CoalescedTrigger&) = delete;

    // Runs the action now on the calling thread when the interval since the last run is over,
    // otherwise schedules one run for when it is.
    void fire();

private:
    void runDelayed();

    const std::chrono::milliseconds interval_;
    const std::function<void()> action_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point lastRun_{};
    bool scheduled_ = false;
    bool stopping_ = false;
    std::thread delayer_;
};

}  // namespace velmor
