#include "mcp/mcp_server.h"

#include "base/log.h"
#include "mcp/json_rpc.h"
#include "mcp/request_reader.h"
#include "mcp/worker_pool.h"
#include "net/bounded_accept.h"
#include "net/connection_limit.h"
#include "net/loopback_listener.h"

#include <array>
#include <boost/asio.hpp>
#include <optional>
#include <thread>
#include <vector>

namespace velmor::mcp {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

constexpr size_t kReadChunk = 64 * 1024;

}  // namespace

struct McpServer::Impl {
    Impl(uint16_t port, std::string token, BodyHandler handler, Limits limits)
        : port(port), token(std::move(token)), handler(std::move(handler)), limits(limits),
          connections(limits.maxConnections, /*newcomersDisplaceWaiting=*/true) {}

    uint16_t port;
    const std::string token;
    const BodyHandler handler;
    const Limits limits;
    // Declared before io: the connections, destroyed with io's pending handlers, hand
    // their slots back to it.
    net::ConnectionLimit connections;

    asio::io_context io;
    std::optional<tcp::acceptor> acceptor;
    std::vector<std::thread> ioThreads;
    // Declared after io: destroyed first, so no worker outlives the context it posts to.
    std::unique_ptr<WorkerPool> workers =
        std::make_unique<WorkerPool>(limits.maxRunningCalls, limits.maxQueuedCalls);
};

namespace {

// One request's connection: read, hand to a worker, write the answer, close.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, std::unique_ptr<net::ConnectionLimit::Slot> slot, McpServer::Impl& server)
        : socket_(std::move(socket)), timer_(socket_.get_executor()), slot_(std::move(slot)), server_(server),
          reader_(server.limits.maxRequestBytes, server.limits.maxHeaderBytes) {}

    void start() {
        slot_->onDisplaced([weak = weak_from_this(), executor = socket_.get_executor()] {
            asio::post(executor, [weak] {
                if (auto self = weak.lock(); self && self->phase_ != Phase::Working) self->close();
            });
        });
        // One deadline for the whole request: a byte now and then does not extend it.
        timer_.expires_after(server_.limits.requestDeadline);
        timer_.async_wait([self = shared_from_this()](auto error) {
            if (!error && self->phase_ == Phase::Reading) self->close();
        });
        read();
    }

private:
    enum class Phase { Reading, Working, Answering };

    void read() {
        socket_.async_read_some(asio::buffer(chunk_), [self = shared_from_this()](auto error, size_t n) {
            self->onRead(error, n);
        });
    }

    void onRead(boost::system::error_code error, size_t n) {
        if (phase_ != Phase::Reading) return;
        if (error || n == 0) return close();
        handle(reader_.append(chunk_.data(), n));
    }

    void handle(RequestReader::State state) {
        switch (state) {
            case RequestReader::State::NeedMore: return read();
            case RequestReader::State::NotUtf8: return close();
            case RequestReader::State::HeadersTooLarge:
                return answer({formatResponse(431, R"({"error":"headers too large"})")});
            case RequestReader::State::TooLarge:
                return answer({formatResponse(413, R"({"error":"request too large"})")});
            case RequestReader::State::HeadersComplete:
                if (auto settled = answerFromHeaders(reader_.headerBlock(), server_.token))
                    return answer(std::move(*settled));
                return handle(reader_.continueWithBody());
            case RequestReader::State::Complete: return process();
        }
    }

    // Routing runs the tool call, which may block for minutes: never on an I/O thread.
    void process() {
        phase_ = Phase::Working;
        timer_.cancel();
        slot_->markBusy();
        bool queued = server_.workers->tryPost([self = shared_from_this()] {
            HttpAnswer answer = answerRequest(self->reader_.request(), self->server_.token, self->server_.handler);
            asio::post(self->socket_.get_executor(),
                       [self, answer = std::move(answer)]() mutable { self->write(std::move(answer)); });
        });
        if (!queued)
            write(answerRequest(reader_.request(), server_.token,
                                [](std::string_view body, const RequestChannel&) { return busyResponse(body); }));
    }

    void answer(HttpAnswer answer) {
        phase_ = Phase::Answering;
        timer_.cancel();
        write(std::move(answer));
    }

    void write(HttpAnswer answer) {
        phase_ = Phase::Answering;
        answer_ = std::move(answer);
        asio::async_write(socket_, asio::buffer(answer_.bytes), [self = shared_from_this()](auto, size_t) {
            if (self->answer_.closeImmediately) return self->close();
            self->slot_->markFinished();
            self->timer_.expires_after(self->server_.limits.closeDelay);
            self->timer_.async_wait([self](auto) { self->close(); });
        });
    }

    void close() {
        boost::system::error_code ignored;
        timer_.cancel();
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

    tcp::socket socket_;
    asio::steady_timer timer_;
    std::unique_ptr<net::ConnectionLimit::Slot> slot_;
    McpServer::Impl& server_;
    RequestReader reader_;
    Phase phase_ = Phase::Reading;
    std::array<char, kReadChunk> chunk_;
    HttpAnswer answer_;
};

}  // namespace

McpServer::McpServer(uint16_t port, std::string token, BodyHandler handler)
    : McpServer(port, std::move(token), std::move(handler), Limits{}) {}

McpServer::McpServer(uint16_t port, std::string token, BodyHandler handler, Limits limits)
    : impl_(std::make_unique<Impl>(port, std::move(token), std::move(handler), limits)) {}

McpServer::~McpServer() {
    // The I/O threads stop first, so no connection reaches for the workers while they go;
    // running calls still finish, and their answers are dropped with the connections.
    impl_->io.stop();
    for (auto& thread : impl_->ioThreads) thread.join();
    impl_->workers.reset();
}

bool McpServer::start() {
    try {
        impl_->acceptor.emplace(net::listenOnLoopback(impl_->io, impl_->port));
        impl_->port = impl_->acceptor->local_endpoint().port();
    } catch (const boost::system::system_error& error) {
        Log::error("mcp", std::string("Failed to create listener: ") + error.what());
        return false;
    }
    Log::info("mcp", "Listening on 127.0.0.1:" + std::to_string(impl_->port));
    net::acceptConnections(*impl_->acceptor, impl_->connections,
                           [impl = impl_.get()](tcp::socket socket, std::unique_ptr<net::ConnectionLimit::Slot> slot) {
                               std::make_shared<Connection>(std::move(socket), std::move(slot), *impl)->start();
                           });
    for (int i = 0; i < impl_->limits.ioThreads; ++i) impl_->ioThreads.emplace_back([this] { impl_->io.run(); });
    return true;
}

uint16_t McpServer::boundPort() const { return impl_->port; }

}  // namespace velmor::mcp
