#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace velmor::bridge {

// The connections to the application's endpoint. Each carries one exchange at a time
// (HTTP/1.1 answers in order, so a long tool call on a shared connection would hold up
// every answer behind it); several run side by side when requests overlap, and finished
// ones wait, open, for the next request.
//
// Whether the application keeps a connection open after answering is learnt rather than
// assumed: until an answer has come back on a reused connection, only messages that may
// safely be sent twice go on one (see HttpForwarder), and a reused connection closed
// without an answer means the application serves one request per connection, after
// which connections are no longer kept.
//
// Lives on the bridge's one I/O thread: no lock.
class ConnectionPool {
public:
    struct Connection {
        explicit Connection(boost::asio::io_context& io) : stream(io) {}
        boost::beast::tcp_stream stream;
        boost::beast::flat_buffer buffer;
        bool reused = false;  // served an exchange before this one
    };
    using ConnectionPtr = std::shared_ptr<Connection>;
    using Ready = std::function<void(boost::beast::error_code, ConnectionPtr)>;

    enum class Reuse { Untested, Proven, Refused };

    // Requests beyond this many at once wait for a connection to come free.
    static constexpr std::size_t kMaxBusy = 16;
    static constexpr std::size_t kMaxIdle = 4;

    ConnectionPool(boost::asio::io_context& io, unsigned short port);

    // Hands `ready` a connected connection: an idle one that is still open when
    // `mayReuse`, else a new one. Requests wait while kMaxBusy are busy; `urgent` ones
    // (notifications, cancellations among them) never wait.
    void acquire(bool mayReuse, bool urgent, Ready ready);
    // The exchange on `connection` is over; `keep` when it may carry another.
    void release(const ConnectionPtr& connection, bool keep);

    Reuse reuse() const { return reuse_; }
    void answeredOnReusedConnection();
    void closedUnansweredOnReusedConnection();

private:
    struct Waiting {
        bool mayReuse;
        Ready ready;
    };
    void hand(bool mayReuse, Ready ready);
    void connect(Ready ready);

    boost::asio::io_context& io_;
    unsigned short port_;
    std::vector<ConnectionPtr> idle_;
    std::deque<Waiting> waiting_;
    std::size_t busy_ = 0;
    Reuse reuse_ = Reuse::Untested;
};

}  // namespace velmor::bridge
