#include "browser/websocket_server.h"

#include "base/log.h"
#include "browser/tls_identity.h"
#include "browser/websocket_connection.h"
#include "net/bounded_accept.h"
#include "net/connection_limit.h"
#include "net/loopback_listener.h"

#include <boost/asio.hpp>
#include <optional>
#include <thread>
#include <vector>

namespace velmor::browser {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

// One I/O thread per listener: a connection's handlers never run at the same time, and the
// registry work they do is brief.
struct WebSocketServer::Impl {
    Impl(uint16_t port, BrowserSessionManager& sessions, std::string identityPath)
        : port(port), sessions(sessions), identityPath(std::move(identityPath)) {}

    void admit(tcp::socket socket, std::unique_ptr<net::ConnectionLimit::Slot> slot);
    void forgetEnded() {
        std::erase_if(connections, [](const Open& open) { return open.connection.expired(); });
    }

    uint16_t port;
    BrowserSessionManager& sessions;
    const std::string identityPath;
    std::shared_ptr<asio::ssl::context> tls;

    // Page agents stay connected for as long as their tab lives, so a connection keeps its
    // slot until it ends; a newcomer never displaces one.
    net::ConnectionLimit slots{net::kMaxConnectionsPerListener, /*newcomersDisplaceWaiting=*/false,
                               [this] { forgetEnded(); }};
    asio::io_context io;
    std::optional<tcp::acceptor> acceptor;
    struct Open {
        std::weak_ptr<WebSocketConnection> connection;
        std::unique_ptr<net::ConnectionLimit::Slot> slot;
    };
    // Touched only on the I/O thread; kept so that shutting down can end every connection.
    // A connection's slot is handed back once the connection is gone, at the next accept.
    std::vector<Open> connections;
    std::thread ioThread;
};

void WebSocketServer::Impl::admit(tcp::socket socket, std::unique_ptr<net::ConnectionLimit::Slot> slot) {
    // Frames are small and answered at once; waiting to coalesce them only adds delay.
    boost::system::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    auto connection = tls ? makeTlsConnection(std::move(socket), tls, sessions)
                          : makePlainConnection(std::move(socket), sessions);
    forgetEnded();
    connections.push_back({connection, std::move(slot)});
    connection->start();
}

WebSocketServer::WebSocketServer(uint16_t port, BrowserSessionManager& sessions, std::string identityPath)
    : impl_(std::make_unique<Impl>(port, sessions, std::move(identityPath))) {}

WebSocketServer::~WebSocketServer() {
    if (!impl_->ioThread.joinable()) return;
    // Once the listener and every connection are closed the I/O thread runs out of work.
    asio::post(impl_->io, [this] {
        boost::system::error_code ignored;
        impl_->acceptor->close(ignored);
        for (const auto& open : impl_->connections)
            if (auto connection = open.connection.lock()) connection->close();
    });
    impl_->ioThread.join();
}

bool WebSocketServer::start(bool forcePlain) {
    if (!forcePlain) impl_->tls = loadServerTlsContext(impl_->identityPath);
    try {
        impl_->acceptor.emplace(net::listenOnLoopback(impl_->io, impl_->port));
        impl_->port = impl_->acceptor->local_endpoint().port();
    } catch (const boost::system::system_error& error) {
        Log::error("ws", std::string("Failed to create WebSocket listener: ") + error.what());
        impl_->tls.reset();
        return false;
    }
    std::string port = std::to_string(impl_->port);
    Log::info("ws", "Port " + port + (impl_->tls ? ": Using TLS (wss://)" : ": Using plain ws://"));
    Log::info("ws", "WebSocket server listening on 127.0.0.1:" + port);
    net::acceptConnections(*impl_->acceptor, impl_->slots,
                           [impl = impl_.get()](tcp::socket socket, std::unique_ptr<net::ConnectionLimit::Slot> slot) {
                               impl->admit(std::move(socket), std::move(slot));
                           });
    impl_->ioThread = std::thread([this] { impl_->io.run(); });
    return true;
}

uint16_t WebSocketServer::boundPort() const { return impl_->port; }

bool WebSocketServer::usesTls() const { return impl_->tls != nullptr; }

}  // namespace velmor::browser
