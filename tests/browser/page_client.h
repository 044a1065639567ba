#pragma once

#include <boost/asio/ssl/context.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velmor::test {

// A WebSocket client that plays a page agent (or the bridge) against a listener on
// 127.0.0.1: connects, keeps every text frame it receives in arrival order, and sends
// frames on request. Reading runs on the client's own thread.
class PageClient {
public:
    // Plain ws://, or wss:// verified against `tls` for the host name "localhost". The
    // handshake carries `origin` as its Origin header, as a browser's would, unless empty.
    explicit PageClient(uint16_t port, boost::asio::ssl::context* tls = nullptr, const std::string& origin = {});
    ~PageClient();
    PageClient(const PageClient&) = delete;
    PageClient& operator=(const PageClient&) = delete;

    // The id from the server's greeting; empty when none arrived.
    const std::string& sessionId() const { return sessionId_; }

    void send(const std::string& text);
    void send(const nlohmann::json& message) { send(message.dump()); }
    // The next frame received, or nothing within `timeout`.
    std::optional<std::string> next(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::optional<nlohmann::json> nextJson(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Sends a protocol-level ping and waits for its pong.
    bool pingAnswered(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // True when the server ended the connection within `timeout`.
    bool closedByServer(std::chrono::milliseconds timeout);
    void close();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
    std::string sessionId_;
};

}  // namespace velmor::test
