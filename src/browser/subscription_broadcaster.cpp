#include "browser/subscription_broadcaster.h"

#include "base/constant_time.h"
#include "base/log.h"

#include <algorithm>

namespace velmor::browser {

void SubscriptionBroadcaster::setToken(std::string token) {
    state_.withLocked([&](State& state) { state.token = std::move(token); });
}

bool SubscriptionBroadcaster::subscribe(const std::shared_ptr<PageConnection>& connection, const std::string& token) {
    size_t total = 0;
    bool subscribed = state_.withLocked([&](State& state) {
        if (state.token.empty() || !equalInConstantTime(token, state.token)) return false;
        // One subscription per connection: a repeat changes nothing.
        if (std::find(state.subscribers.begin(), state.subscribers.end(), connection) != state.subscribers.end())
            return true;
        state.subscribers.push_back(connection);
        total = state.subscribers.size();
        return true;
    });
    if (total) Log::info("browser", "Tool change subscriber added (total: " + std::to_string(total) + ")");
    return subscribed;
}

void SubscriptionBroadcaster::remove(const PageConnection* connection) {
    state_.withLocked([&](State& state) {
        std::erase_if(state.subscribers, [connection](const auto& subscriber) { return subscriber.get() == connection; });
    });
}

void SubscriptionBroadcaster::push() {
    auto subscribers = state_.withLocked([](const State& state) { return state.subscribers; });
    if (subscribers.empty()) return;
    static const std::string kToolsChanged = R"({"type":"tools_changed"})";
    for (const auto& subscriber : subscribers) subscriber->send(kToolsChanged);
    Log::info("browser", "Notified " + std::to_string(subscribers.size()) + " tool change subscribers");
}

}  // namespace velmor::browser
