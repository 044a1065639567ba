#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace velmor {

// A value reached only while its lock is held: withLocked runs `use(value)` under the lock
// and hands back what `use` returns (through a const Guarded, `use` sees the value const).
// There is no other way to the value, so a use without the lock does not compile. `use` must
// not call withLocked on the same object again.
//
// withLockedWhen first waits on `changed`, letting the lock go meanwhile, until `ready(value)`
// holds (or, given a limit, until the limit has passed, whichever comes first), then runs `use`
// as withLocked does. Whoever changes what `ready` reads notifies `changed`.
template <typename T>
class Guarded {
public:
    Guarded() = default;
    explicit Guarded(T value) : value_(std::move(value)) {}

    template <typename Use>
    decltype(auto) withLocked(Use&& use) {
        std::lock_guard lock(mutex_);
        return std::forward<Use>(use)(value_);
    }

    template <typename Use>
    decltype(auto) withLocked(Use&& use) const {
        std::lock_guard lock(mutex_);
        return std::forward<Use>(use)(std::as_const(value_));
    }

    template <typename Ready, typename Use>
    decltype(auto) withLockedWhen(std::condition_variable& changed, Ready&& ready, Use&& use) {
        std::unique_lock lock(mutex_);
        changed.wait(lock, [&] { return ready(std::as_const(value_)); });
        return std::forward<Use>(use)(value_);
    }

    template <typename Ready, typename Use>
    decltype(auto) withLockedWhen(std::condition_variable& changed, std::chrono::steady_clock::duration limit,
                                  Ready&& ready, Use&& use) {
        std::unique_lock lock(mutex_);
        changed.wait_for(lock, limit, [&] { return ready(std::as_const(value_)); });
        return std::forward<Use>(use)(value_);
    }

private:
    mutable std::mutex mutex_;
    T value_;
};

}  // namespace velmor
