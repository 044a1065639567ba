#include "base/coalesced_trigger.h"

namespace velmor {

using Clock = std::chrono::steady_clock;

CoalescedTrigger::CoalescedTrigger(std::chrono::milliseconds interval, std::function<void()> action)
    : interval_(interval), action_(std::move(action)) {}

CoalescedTrigger::~CoalescedTrigger() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (delayer_.joinable()) delayer_.join();
}

void CoalescedTrigger::fire() {
    {
        std::lock_guard lock(mutex_);
        if (scheduled_) return;  // the waiting run will carry this change too
        Clock::time_point now = Clock::now();
        if (now - lastRun_ < interval_) {
            scheduled_ = true;
            if (!delayer_.joinable()) delayer_ = std::thread([this] { runDelayed(); });
            wake_.notify_all();
            return;
        }
        lastRun_ = now;
    }
    action_();
}

void CoalescedTrigger::runDelayed() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        wake_.wait(lock, [this] { return scheduled_ || stopping_; });
        if (stopping_) return;
        if (wake_.wait_until(lock, lastRun_ + interval_, [this] { return stopping_; })) return;
        scheduled_ = false;
        lastRun_ = Clock::now();
        lock.unlock();
        action_();
        lock.lock();
    }
}

}  // namespace velmor
