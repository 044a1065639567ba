#include "mcp/mcp_server.h"

#include "app/log.h"
#include "mcp/request_reader.h"
#include "mcp/worker_pool.h"
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
        : port(port), token(std::move(token)), handler(std::move(handler)), limits(limits) {}

    void accept();

    uint16_t port;
    const std::string token;
    const BodyHandler handler;
    const Limits limits;

    asio::io_context io;
    std::optional<tcp::acceptor> acceptor;
    std::vector<std::thread> ioThreads;
    // Declared after io: destroyed first, so no worker outlives the context it posts to.
    std::unique_ptr<WorkerPool> workers = std::make_unique<WorkerPool>();
};

namespace {

// One request's connection: read, hand to a worker, write the answer, close.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, McpServer::Impl& server)
        : socket_(std::move(socket)), timer_(socket_.get_executor()), server_(server),
          reader_(server.limits.maxRequestBytes) {}

    void start() { read(); }

private:
    void read() {
        armIdleTimer();
        socket_.async_read_some(asio::buffer(chunk_), [self = shared_from_this()](auto error, size_t n) {
            self->onRead(error, n);
        });
    }

    void armIdleTimer() {
        timer_.expires_after(server_.limits.idleTimeout);
        timer_.async_wait([self = shared_from_this()](auto error) {
            if (!error) self->close();
        });
    }

    void onRead(boost::system::error_code error, size_t n) {
        if (error || n == 0) return close();
        switch (reader_.append(chunk_.data(), n)) {
            case RequestReader::State::NeedMore: return read();
            case RequestReader::State::NotUtf8: return close();
            case RequestReader::State::TooLarge:
                timer_.cancel();
                return write({formatResponse(413, R"({"error":"request too large"})")});
            case RequestReader::State::Complete:
                timer_.cancel();
                return process();
        }
    }

    // Routing runs the tool call, which may block for minutes: never on an I/O thread.
    void process() {
        server_.workers->post([self = shared_from_this()] {
            HttpAnswer answer = answerRequest(self->reader_.request(), self->server_.token, self->server_.handler);
            asio::post(self->socket_.get_executor(),
                       [self, answer = std::move(answer)]() mutable { self->write(std::move(answer)); });
        });
    }

    void write(HttpAnswer answer) {
        answer_ = std::move(answer);
        asio::async_write(socket_, asio::buffer(answer_.bytes), [self = shared_from_this()](auto, size_t) {
            if (self->answer_.closeImmediately) return self->close();
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
    McpServer::Impl& server_;
    RequestReader reader_;
    std::array<char, kReadChunk> chunk_;
    HttpAnswer answer_;
};

}  // namespace

void McpServer::Impl::accept() {
    acceptor->async_accept(asio::make_strand(io), [this](boost::system::error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted) return;
        if (!error) std::make_shared<Connection>(std::move(socket), *this)->start();
        accept();
    });
}

McpServer::McpServer(uint16_t port, std::string token, BodyHandler handler)
    : McpServer(port, std::move(token), std::move(handler), Limits{}) {}

McpServer::McpServer(uint16_t port, std::string token, BodyHandler handler, Limits limits)
    : impl_(std::make_unique<Impl>(port, std::move(token), std::move(handler), limits)) {}

McpServer::~McpServer() {
    if (impl_->acceptor) {
        asio::post(impl_->io, [this] {
            boost::system::error_code ignored;
            impl_->acceptor->close(ignored);
        });
    }
    impl_->workers.reset();  // lets running requests finish and post their answers
    impl_->io.stop();
    for (auto& thread : impl_->ioThreads) thread.join();
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
    impl_->accept();
    for (int i = 0; i < impl_->limits.ioThreads; ++i) impl_->ioThreads.emplace_back([this] { impl_->io.run(); });
    return true;
}

uint16_t McpServer::boundPort() const { return impl_->port; }

}  // namespace velmor::mcp
