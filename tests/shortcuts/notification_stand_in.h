#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _GMainLoop GMainLoop;
typedef struct _GMainContext GMainContext;

namespace velmor::test {

// The desktop's notification service as a stand-in on the session bus: it owns
// org.freedesktop.Notifications and remembers every Notify call's summary and body.
class NotificationStandIn {
public:
    NotificationStandIn();
    ~NotificationStandIn();

    // True once the name is ours on the bus.
    bool owned() const;
    // "summary|body" per notification, in order.
    std::vector<std::string> received() const;

private:
    friend struct NotificationCalls;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    bool owned_ = false;
    std::thread thread_;
};

}  // namespace velmor::test
