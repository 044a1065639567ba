#pragma once

#include "base/guarded.h"
#include "browser/page_connection.h"

#include <memory>
#include <string>
#include <vector>

namespace velmor::browser {

// The connections (the bridge) that asked to hear when the tool list changes, and the push
// that tells them. A frame is sent without the lock held.
class SubscriptionBroadcaster {
public:
    SubscriptionBroadcaster() = default;
    SubscriptionBroadcaster(const SubscriptionBroadcaster&) = delete;
    SubscriptionBroadcaster& operator=(const SubscriptionBroadcaster&) = delete;

    // The bearer token a subscription must carry; without one no subscription is accepted.
    void setToken(std::string token);
    // Subscribes the connection when `token` is the bearer token; answers whether it did.
    bool subscribe(const std::shared_ptr<PageConnection>& connection, const std::string& token);
    void remove(const PageConnection* connection);
    // Sends {"type":"tools_changed"} to every subscriber.
    void push();

private:
    struct State {
        std::string token;
        std::vector<std::shared_ptr<PageConnection>> subscribers;
    };

    Guarded<State> state_;
};

}  // namespace velmor::browser
