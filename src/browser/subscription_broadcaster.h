#pragma once

#include "base/guarded.h"
#include "browser/coalesced_trigger.h"
#include "browser/page_connection.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace velmor::browser {

// The connections (the bridge) that asked to hear when the tool list changes, and the push
// that tells them. A frame is sent without the lock held.
class SubscriptionBroadcaster {
public:
    // Pushes are at most this frequent; a burst of changes becomes one push.
    static constexpr std::chrono::milliseconds kToolsChangedInterval{100};

    SubscriptionBroadcaster();
    SubscriptionBroadcaster(const SubscriptionBroadcaster&) = delete;
    SubscriptionBroadcaster& operator=(const SubscriptionBroadcaster&) = delete;

    // The bearer token a subscription must carry; without one no subscription is accepted.
    void setToken(std::string token);
    // Subscribes the connection when `token` is the bearer token; answers whether it did.
    bool subscribe(const std::shared_ptr<PageConnection>& connection, const std::string& token);
    void remove(const PageConnection* connection);
    // Sends {"type":"tools_changed"} to every subscriber, at most once per
    // kToolsChangedInterval; changes within the interval are announced when it ends.
    void notify();

private:
    struct State {
        std::string token;
        std::vector<std::shared_ptr<PageConnection>> subscribers;
    };

    void push();

    Guarded<State> state_;
    // Declared last, so it is destroyed first: its delayed push reads the state.
    CoalescedTrigger push_;
};

}  // namespace velmor::browser
