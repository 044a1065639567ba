#pragma once

#include "base/guarded.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace velmor {

// One tool call as its caller sees it while it runs: whether the caller has given up on it
// (cancelled), and a way to tell the caller how far it has come (progress). Long work asks
// cancelled() at its safe points, waits with waitFor() and stops children through
// onCancel(), so a cancelled call lets go of its worker soon.
//
// The call's own thread reaches it through currentCall(); work handed to another thread
// takes shareCurrentCall() along and opens a CallScope there. Safe to use from any thread.
class CallContext {
public:
    // progress, total (when known) and a message for people, as the caller's protocol
    // wants them; called on whichever thread reports.
    using ProgressSink = std::function<void(double progress, std::optional<double> total, const std::string& message)>;

    explicit CallContext(ProgressSink progressSink = {});
    CallContext(const CallContext&) = delete;
    CallContext& operator=(const CallContext&) = delete;

    // Marks the call cancelled, wakes every waitFor and runs every onCancel action, once.
    void cancel();
    bool cancelled() const;

    // Sleeps for `duration` unless the call is cancelled first; false when it was.
    bool waitFor(std::chrono::steady_clock::duration duration) const;

    // Runs `action` when the call is cancelled (at once when it already is), until the
    // returned hook is dropped; dropping it waits for an action that is running. Actions run
    // on the cancelling thread under the context's lock: they must be short (a signal to a
    // child, a wake-up) and must not use this context.
    class CancelHook {
    public:
        CancelHook() = default;
        CancelHook(CancelHook&& other) noexcept;
        CancelHook& operator=(CancelHook&& other) noexcept;
        ~CancelHook();

    private:
        friend class CallContext;
        CancelHook(const CallContext* context, uint64_t id) : context_(context), id_(id) {}
        void release();
        const CallContext* context_ = nullptr;
        uint64_t id_ = 0;
    };
    [[nodiscard]] CancelHook onCancel(std::function<void()> action) const;

    // Tells the caller how far the call has come; nothing happens without a sink.
    void progress(double done, std::optional<double> total = std::nullopt, const std::string& message = {}) const;

private:
    struct State {
        bool cancelled = false;
        uint64_t nextHook = 1;
        std::map<uint64_t, std::function<void()>> onCancel;
    };

    const ProgressSink progressSink_;
    // Mutable: hooks come and go, and waits wait, through the const view a call's work has.
    mutable Guarded<State> state_;
    mutable std::condition_variable woken_;
};

// The context of the call running on this thread: the one a CallScope opened, or one that is
// never cancelled and reports nowhere when no call is running here.
const CallContext& currentCall();
// The same, shared, for work this call hands to another thread.
std::shared_ptr<const CallContext> shareCurrentCall();

// Makes `context` this thread's current call for the scope's lifetime.
class CallScope {
public:
    explicit CallScope(std::shared_ptr<const CallContext> context);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    std::shared_ptr<const CallContext> previous_;
};

}  // namespace velmor
