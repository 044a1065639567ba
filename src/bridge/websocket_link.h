#pragma once

#include "bridge/reconnect_backoff.h"
#include "bridge/stdout_lines.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace velmor::bridge {

// Keeps a WebSocket connection to the application's page-agent listener, subscribes to
// tool changes on it and turns each change into an MCP list_changed line on standard
// output. Reconnects with back-off for as long as the process lives; request forwarding
// never depends on it.
//
// All state lives on the io_context, which runs on a single thread, so nothing here needs
// a lock.
class WebSocketLink {
public:
    // `token` is the bearer token: the application accepts a subscription only with it.
    WebSocketLink(boost::asio::io_context& io, std::uint16_t port, std::string token, StdoutLines& stdoutLines);

    // Starts the first connection attempt and the keep-alive timer.
    void start();

private:
    struct Connection;
    using ConnectionPtr = std::shared_ptr<Connection>;

    void connect();
    void handshake(const ConnectionPtr& connection);
    void becameReady(const ConnectionPtr& connection);
    void receive(const ConnectionPtr& connection);
    void handleMessage(const ConnectionPtr& connection, std::string_view message);
    void send(const ConnectionPtr& connection, std::string text);
    void connectionEnded(const std::string& reason);
    void scheduleReconnect();
    void schedulePing();

    boost::asio::io_context& io_;
    std::uint16_t port_;
    const std::string subscribeMessage_;
    StdoutLines& stdoutLines_;
    // The connection that completed its handshake and is still open; pings go here.
    ConnectionPtr ready_;
    ReconnectBackoff backoff_;
    boost::asio::steady_timer reconnectTimer_;
    boost::asio::steady_timer pingTimer_;
};

}  // namespace velmor::bridge
