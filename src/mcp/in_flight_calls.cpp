#include "mcp/in_flight_calls.h"

#include <vector>

namespace velmor::mcp {

InFlightCalls::Registration::~Registration() {
    calls_.calls_.withLocked([&](Calls& calls) { calls.erase(entry_); });
}

std::unique_ptr<InFlightCalls::Registration> InFlightCalls::add(Key key, std::shared_ptr<CallContext> context) {
    auto entry = calls_.withLocked([&](Calls& calls) { return calls.emplace(std::move(key), std::move(context)); });
    return std::make_unique<Registration>(*this, entry);
}

bool InFlightCalls::cancel(const Key& key) {
    std::vector<std::shared_ptr<CallContext>> named;
    calls_.withLocked([&](Calls& calls) {
        auto [first, last] = calls.equal_range(key);
        for (auto it = first; it != last; ++it) named.push_back(it->second);
    });
    // Outside the lock: stopping a call's children must not hold up calls starting or ending.
    for (auto& context : named) context->cancel();
    return !named.empty();
}

size_t InFlightCalls::size() const {
    return calls_.withLocked([](const Calls& calls) { return calls.size(); });
}

}  // namespace velmor::mcp
