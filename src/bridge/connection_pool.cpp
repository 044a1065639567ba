#include "bridge/connection_pool.h"

#include "bridge/diagnostics.h"

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <cerrno>
#include <sys/socket.h>

namespace velmor::bridge {

namespace asio = boost::asio;
namespace beast = boost::beast;

namespace {

// An idle connection the application has closed (or that has bytes nobody asked for) is
// found out before a request is put on it, not after.
bool stillUsable(ConnectionPool::Connection& connection) {
    auto& socket = connection.stream.socket();
    if (!socket.is_open() || connection.buffer.size() > 0) return false;
    char byte;
    ssize_t peeked = ::recv(socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

void close(ConnectionPool::Connection& connection) {
    beast::error_code ignored;
    connection.stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    connection.stream.socket().close(ignored);
}

}  // namespace

ConnectionPool::ConnectionPool(asio::io_context& io, unsigned short port) : io_(io), port_(port) {}

void ConnectionPool::acquire(bool mayReuse, bool urgent, Ready ready) {
    if (busy_ >= kMaxBusy && !urgent) {
        waiting_.push_back({mayReuse, std::move(ready)});
        return;
    }
    hand(mayReuse, std::move(ready));
}

void ConnectionPool::hand(bool mayReuse, Ready ready) {
    ++busy_;
    while (mayReuse && reuse_ != Reuse::Refused && !idle_.empty()) {
        ConnectionPtr connection = std::move(idle_.back());
        idle_.pop_back();
        if (!stillUsable(*connection)) {
            close(*connection);
            continue;
        }
        connection->reused = true;
        asio::post(io_, [ready = std::move(ready), connection] { ready({}, connection); });
        return;
    }
    connect(std::move(ready));
}

void ConnectionPool::connect(Ready ready) {
    auto connection = std::make_shared<Connection>(io_);
    asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port_);
    connection->stream.expires_after(std::chrono::seconds(30));
    connection->stream.async_connect(endpoint, [connection, ready = std::move(ready)](beast::error_code error) {
        if (!error) connection->stream.socket().set_option(asio::ip::tcp::no_delay(true), error);
        ready(error, connection);
    });
}

void ConnectionPool::release(const ConnectionPtr& connection, bool keep) {
    --busy_;
    if (keep && reuse_ != Reuse::Refused && idle_.size() < kMaxIdle && stillUsable(*connection)) {
        connection->stream.expires_never();
        idle_.push_back(connection);
    } else {
        close(*connection);
    }
    if (!waiting_.empty() && busy_ < kMaxBusy) {
        Waiting next = std::move(waiting_.front());
        waiting_.pop_front();
        hand(next.mayReuse, std::move(next.ready));
    }
}

void ConnectionPool::answeredOnReusedConnection() { reuse_ = Reuse::Proven; }

void ConnectionPool::closedUnansweredOnReusedConnection() {
    if (reuse_ != Reuse::Untested) return;
    reuse_ = Reuse::Refused;
    for (auto& connection : idle_) close(*connection);
    idle_.clear();
    log("Velmor answers one request per connection; a new connection is opened for each");
}

}  // namespace velmor::bridge
