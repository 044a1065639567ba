#pragma once

#include "mcp/http_answer.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace velmor::mcp {

// The MCP endpoint on 127.0.0.1: one request per connection, read to the end of its body,
// routed and authorised, answered, and closed shortly after. Network I/O runs on its own
// threads that never block; each complete request is handed to a worker thread.
class McpServer {
public:
    struct Limits {
        size_t maxRequestBytes = 16 * 1024 * 1024;
        std::chrono::milliseconds idleTimeout{30'000};   // a connection that sends nothing
        std::chrono::milliseconds closeDelay{100};       // grace period after an answer
        int ioThreads = 2;
    };

    McpServer(uint16_t port, std::string token, BodyHandler handler);
    McpServer(uint16_t port, std::string token, BodyHandler handler, Limits limits);
    // Stops accepting, lets running requests finish, and closes every connection.
    ~McpServer();
    McpServer(const McpServer&) = delete;
    McpServer& operator=(const McpServer&) = delete;

    // Binds and starts serving. A failure is logged and answered false; the application
    // runs on without an endpoint.
    bool start();

    // The port actually bound (differs from the requested one when that was 0).
    uint16_t boundPort() const;

    struct Impl;  // shared with the connections, which live in the implementation file

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmor::mcp
