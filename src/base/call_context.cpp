#include "base/call_context.h"

namespace velmor {

namespace {

const std::shared_ptr<const CallContext>& noCall() {
    static const auto context = std::make_shared<const CallContext>();
    return context;
}

thread_local std::shared_ptr<const CallContext> tCurrent;

}  // namespace

CallContext::CallContext(ProgressSink progressSink) : progressSink_(std::move(progressSink)) {}

void CallContext::cancel() {
    // The actions run under the lock: that is what lets a dropped hook wait for its action.
    state_.withLocked([&](State& state) {
        if (state.cancelled) return;
        state.cancelled = true;
        woken_.notify_all();
        for (auto& [id, action] : state.onCancel) action();
    });
}

bool CallContext::cancelled() const { return state_.withLocked([](const State& state) { return state.cancelled; }); }

bool CallContext::waitFor(std::chrono::steady_clock::duration duration) const {
    auto cancelled = [](const State& state) { return state.cancelled; };
    return !state_.withLockedWhen(woken_, duration, cancelled, cancelled);
}

CallContext::CancelHook CallContext::onCancel(std::function<void()> action) const {
    return state_.withLocked([&](State& state) -> CancelHook {
        if (state.cancelled) {
            action();
            return {};
        }
        uint64_t id = state.nextHook++;
        state.onCancel.emplace(id, std::move(action));
        return CancelHook(this, id);
    });
}

void CallContext::progress(double done, std::optional<double> total, const std::string& message) const {
    if (progressSink_) progressSink_(done, total, message);
}

CallContext::CancelHook::CancelHook(CancelHook&& other) noexcept : context_(other.context_), id_(other.id_) {
    other.context_ = nullptr;
}

CallContext::CancelHook& CallContext::CancelHook::operator=(CancelHook&& other) noexcept {
    if (this != &other) {
        release();
        context_ = other.context_;
        id_ = other.id_;
        other.context_ = nullptr;
    }
    return *this;
}

CallContext::CancelHook::~CancelHook() { release(); }

void CallContext::CancelHook::release() {
    if (!context_) return;
    context_->state_.withLocked([&](State& state) { state.onCancel.erase(id_); });
    context_ = nullptr;
}

const CallContext& currentCall() { return tCurrent ? *tCurrent : *noCall(); }

std::shared_ptr<const CallContext> shareCurrentCall() { return tCurrent ? tCurrent : noCall(); }

CallScope::CallScope(std::shared_ptr<const CallContext> context) : previous_(std::move(tCurrent)) {
    tCurrent = std::move(context);
}

CallScope::~CallScope() { tCurrent = std::move(previous_); }

}  // namespace velmor
