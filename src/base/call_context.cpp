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
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    woken_.notify_all();
    for (auto& [id, action] : onCancel_) action();
}

bool CallContext::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool CallContext::waitFor(std::chrono::steady_clock::duration duration) const {
    std::unique_lock lock(mutex_);
    return !woken_.wait_for(lock, duration, [this] { return cancelled_; });
}

CallContext::CancelHook CallContext::onCancel(std::function<void()> action) const {
    std::lock_guard lock(mutex_);
    if (cancelled_) {
        action();
        return {};
    }
    uint64_t id = nextHook_++;
    onCancel_.emplace(id, std::move(action));
    return CancelHook(this, id);
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
    std::lock_guard lock(context_->mutex_);
    context_->onCancel_.erase(id_);
    context_ = nullptr;
}

const CallContext& currentCall() { return tCurrent ? *tCurrent : *noCall(); }

std::shared_ptr<const CallContext> shareCurrentCall() { return tCurrent ? tCurrent : noCall(); }

CallScope::CallScope(std::shared_ptr<const CallContext> context) : previous_(std::move(tCurrent)) {
    tCurrent = std::move(context);
}

CallScope::~CallScope() { tCurrent = std::move(previous_); }

}  // namespace velmor
