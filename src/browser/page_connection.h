#pragma once

#include <string>

namespace velmor::browser {

// The sending side of one WebSocket connection, as the session registry sees it. Sending
// never blocks: the frame is queued for the connection's own I/O thread, and a connection
// that has ended drops it. Delivery failures are not reported.
class PageConnection {
public:
    virtual ~PageConnection() = default;
    // Queues `text` as one complete text frame.
    virtual void send(std::string text) = 0;
};

}  // namespace velmor::browser
