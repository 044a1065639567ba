#pragma once

#include "base/guarded.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace velmor::mcp {

// The server's open event streams (GET /mcp), bounded in number. A broadcast reaches each
// through the function its connection registered, which only schedules the write on the
// connection's own strand. Once closed (the server is going), nothing is scheduled any
// more, so no one posts to an I/O context that is being torn down. Thread-safe.
class EventStreams {
public:
    struct Stream {
        std::string session;                                // empty for a stream outside any session
        std::function<void(const std::string& message)> send;  // one JSON-RPC message
        std::function<void()> end;
    };

    explicit EventStreams(size_t maxStreams) : maxStreams_(maxStreams) {}

    // The stream's number, or 0 when as many are open as allowed (or the registry is closed).
    uint64_t add(Stream stream);
    void remove(uint64_t number);
    void broadcast(const std::string& message);
    // Ends the streams opened in `session`: it is over.
    void endSession(const std::string& session);
    void close();

private:
    struct Open {
        std::map<uint64_t, Stream> streams;
        uint64_t lastNumber = 0;
        bool closed = false;
    };

    const size_t maxStreams_;
    Guarded<Open> open_;
};

}  // namespace velmor::mcp
