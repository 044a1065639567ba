#include "bridge/websocket_link.h"

#include "bridge/diagnostics.h"
#include "bridge/output_lines.h"
#include "net/websocket_write_queue.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <nlohmann/json.hpp>

namespace velmor::bridge {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;

namespace {

constexpr std::chrono::seconds kConnectTimeout{30};
constexpr std::chrono::seconds kPingInterval{20};
constexpr std::string_view kPingMessage = R"({"type":"ping"})";

// The `type` of a message that is a JSON object with a string `type`, else "".
std::string messageType(std::string_view message) {
    auto json = nlohmann::json::parse(message, nullptr, false);
    if (!json.is_object()) return {};
    auto type = json.find("type");
    return type != json.end() && type->is_string() ? type->get<std::string>() : std::string();
}

}  // namespace

struct WebSocketLink::Connection {
    explicit Connection(asio::io_context& io) : socket(io) {}

    websocket::stream<beast::tcp_stream> socket;
    beast::flat_buffer incoming;
    // A ping due while the subscription is still going out waits here.
    net::WebSocketWriteQueue outbox;
};

WebSocketLink::WebSocketLink(asio::io_context& io, std::uint16_t port, std::string token, StdoutLines& stdoutLines)
    : io_(io),
      port_(port),
      subscribeMessage_(nlohmann::json{{"type", "subscribe_tools_changed"}, {"token", std::move(token)}}.dump(
          -1, ' ', false, nlohmann::json::error_handler_t::replace)),
      stdoutLines_(stdoutLines),
      reconnectTimer_(io),
      pingTimer_(io) {}

void WebSocketLink::start() {
    asio::post(io_, [this] {
        connect();
        schedulePing();
    });
}

void WebSocketLink::connect() {
    auto connection = std::make_shared<Connection>(io_);
    auto& tcp = beast::get_lowest_layer(connection->socket);
    tcp.expires_after(kConnectTimeout);
    asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port_);
    tcp.async_connect(endpoint, [this, connection](beast::error_code error) {
        if (error) return connectionEnded("WS failed: " + error.message());
        handshake(connection);
    });
}

void WebSocketLink::handshake(const ConnectionPtr& connection) {
    // From here on the WebSocket layer keeps its own time limits: one for the handshake,
    // none while idle, since the application may stay quiet for hours.
    beast::get_lowest_layer(connection->socket).expires_never();
    connection->socket.set_option(websocket::stream_base::timeout::suggested(beast::role_type::client));
    connection->socket.async_handshake("127.0.0.1:" + std::to_string(port_), "/",
                                       [this, connection](beast::error_code error) {
                                           if (error) return connectionEnded("WS failed: " + error.message());
                                           becameReady(connection);
                                       });
}

void WebSocketLink::becameReady(const ConnectionPtr& connection) {
    log("WS connected to port " + std::to_string(port_));
    backoff_.reset();
    ready_ = connection;
    receive(connection);
}

void WebSocketLink::receive(const ConnectionPtr& connection) {
    connection->socket.async_read(connection->incoming, [this, connection](beast::error_code error, std::size_t) {
        // A close frame from the application is an orderly end; anything else broke the
        // connection under us.
        if (error == websocket::error::closed) return connectionEnded("WS cancelled");
        if (error) return connectionEnded("WS receive error: " + error.message());
        std::string message = beast::buffers_to_string(connection->incoming.data());
        connection->incoming.consume(connection->incoming.size());
        handleMessage(connection, message);
        receive(connection);
    });
}

void WebSocketLink::handleMessage(const ConnectionPtr& connection, std::string_view message) {
    std::string type = messageType(message);
    if (type == "session_id") {
        send(connection, subscribeMessage_);
        log("Subscribed to tool changes");
    } else if (type == "tools_changed") {
        stdoutLines_.write(kToolsListChangedLine);
        log("Pushed tools/list_changed");
    }
}

void WebSocketLink::send(const ConnectionPtr& connection, std::string text) {
    // A failed send means the connection is going down; the pending read reports that and
    // reconnects.
    connection->outbox.push(connection->socket, std::move(text), connection);
}

void WebSocketLink::connectionEnded(const std::string& reason) {
    log(reason);
    ready_.reset();
    scheduleReconnect();
}

void WebSocketLink::scheduleReconnect() {
    reconnectTimer_.expires_after(backoff_.nextDelay());
    reconnectTimer_.async_wait([this](beast::error_code error) {
        if (!error) connect();
    });
}

void WebSocketLink::schedulePing() {
    pingTimer_.expires_after(kPingInterval);
    pingTimer_.async_wait([this](beast::error_code error) {
        if (error) return;
        if (ready_) send(ready_, std::string(kPingMessage));
        schedulePing();
    });
}

}  // namespace velmor::bridge
