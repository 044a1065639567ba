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
//
// Everything a client sends is bounded: the header block, the body, the time to send the
// whole request, the connections held open, and the tool calls running or waiting. A
// client without the token is answered from its headers and its body is never read.
class McpServer {
public:
    struct Limits {
        size_t maxRequestBytes = 16 * 1024 * 1024;
        size_t maxHeaderBytes = 16 * 1024;
        // From the connection's acceptance to the last byte of its request, whatever
        // trickles in meanwhile.
        std::chrono::milliseconds requestDeadline{30'000};
        std::chrono::milliseconds closeDelay{100};       // grace period after an answer
        size_t maxConnections = 64;
        size_t maxRunningCalls = 64;
        size_t maxQueuedCalls = 64;
        int ioThreads = 2;
    };

    McpServer(uint16_t port, std::string token, BodyHandler handler);
    McpServer(uint16_t port, std::string token, BodyHandler handler, Limits limits);
    // Stops accepting and serving, waits for running tool calls, and closes every connection.
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
