#pragma once

#include "mcp/http_answer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velmor::mcp {

// The MCP endpoint on 127.0.0.1:/mcp, speaking MCP's Streamable HTTP transport over
// persistent HTTP/1.1 connections: a POST carries one JSON-RPC message and is answered with
// JSON, or with an event stream when the client asked for notifications about its request;
// GET opens the server's event stream (tool list changes); DELETE ends a session. Network
// I/O runs on its own threads that never block; each message is handed to a worker thread.
//
// Everything a client sends is bounded: the header block, the body, the time to send a
// request, the time a kept connection may idle, the connections held open, the event
// streams, the sessions, and the tool calls running or waiting. A client without the token
// is answered from its headers and its body is never read.
class McpServer {
public:
    struct Limits {
        size_t maxRequestBytes = 16 * 1024 * 1024;  // the body, after any chunked coding
        size_t maxHeaderBytes = 16 * 1024;
        // From the first byte of a request (or the connection's acceptance) to the last,
        // whatever trickles in meanwhile.
        std::chrono::milliseconds requestDeadline{30'000};
        // How long a kept connection may wait for its next request.
        std::chrono::milliseconds idleTimeout{30'000};
        // How often an open event stream carries a comment, so that it is seen to live.
        std::chrono::milliseconds streamKeepAlive{15'000};
        size_t maxConnections = 64;
        size_t maxEventStreams = 16;
        size_t maxSessions = 256;
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

    // Tells every open event stream that the tool list changed. The function may be called
    // from any thread, also after the server is gone (it then does nothing).
    std::function<void()> toolChangeNotifier() const;

    struct Impl;  // shared with the connections, which live in the implementation file

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmor::mcp
