#pragma once

#include "browser/browser_session_manager.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <chrono>
#include <memory>

namespace velmor::browser {

// One accepted connection of a WebSocket listener, which becomes one browser session:
// greeted with its id, read frame after frame into the registry, and removed from the
// registry (with its tool-change subscription) when it ends. All of its work runs on the
// listener's I/O thread.
class WebSocketConnection {
public:
    virtual ~WebSocketConnection() = default;
    // Creates the session and begins the TLS and WebSocket handshakes.
    virtual void start() = 0;
    // Ends the connection; its session leaves the registry.
    virtual void close() = 0;
};

// A message larger than this ends the connection. Page agents send tool lists and short
// answers; nothing they say legitimately comes near it.
inline constexpr size_t kMaxMessageBytes = 1024 * 1024;
// A connection that has not authenticated (as an injected page or as the bridge) by then is
// closed.
inline constexpr std::chrono::seconds kAuthenticationDeadline{5};

std::shared_ptr<WebSocketConnection> makePlainConnection(boost::asio::ip::tcp::socket socket,
                                                         BrowserSessionManager& sessions);
std::shared_ptr<WebSocketConnection> makeTlsConnection(boost::asio::ip::tcp::socket socket,
                                                       std::shared_ptr<boost::asio::ssl::context> tls,
                                                       BrowserSessionManager& sessions);

}  // namespace velmor::browser
