#include "mcp/in_flight_calls.h"

#include <vector>

namespace velmor::mcp {

InFlightCalls::Registration::~Registration() {
    std::lock_guard lock(calls_.mutex_);
    calls_.calls_.erase(entry_);
}

std::unique_ptr<InFlightCalls::Registration> InFlightCalls::add(Key key, std::shared_ptr<CallContext> context) {
    std::lock_guard lock(mutex_);
    auto entry = calls_.emplace(std::move(key), std::move(context));
    return std::make_unique<Registration>(*this, entry);
}

bool InFlightCalls::cancel(const Key& key) {
    std::vector<std::shared_ptr<CallContext>> named;
    {
        std::lock_guard lock(mutex_);
        auto [first, last] = calls_.equal_range(key);
        for (auto it = first; it != last; ++it) named.push_back(it->second);
    }
    // Outside the lock: stopping a call's children must not hold up calls starting or ending.
    for (auto& context : named) context->cancel();
    return !named.empty();
}

size_t InFlightCalls::size() const {
    std::lock_guard lock(mutex_);
    return calls_.size();
}

}  // namespace velmor::mcp
