#include "bridge/fake_page_agent.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/stream.hpp>

namespace velmor::bridge::test {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using asio::ip::tcp;

struct FakePageAgent::Session {
    explicit Session(tcp::socket socket) : ws(std::move(socket)) {}
    websocket::stream<beast::tcp_stream> ws;
    beast::flat_buffer buffer;
    std::deque<std::string> outbox;
    bool writing = false;
};

FakePageAgent::FakePageAgent(std::uint16_t port) : acceptor_(io_) {
    tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen();
    port_ = acceptor_.local_endpoint().port();
    accept();
    thread_ = std::thread([this] { io_.run(); });
}

FakePageAgent::~FakePageAgent() {
    io_.stop();
    thread_.join();
}

void FakePageAgent::accept() {
    acceptor_.async_accept([this](beast::error_code error, tcp::socket socket) {
        if (error) return;
        auto session = std::make_shared<Session>(std::move(socket));
        session->ws.control_callback([this](websocket::frame_type kind, beast::string_view) {
            if (kind != websocket::frame_type::pong) return;
            {
                std::lock_guard lock(mutex_);
                ++pongs_;
            }
            changed_.notify_all();
        });
        session->ws.async_accept([this, session](beast::error_code acceptError) {
            if (acceptError) return;
            current_ = session;
            {
                std::lock_guard lock(mutex_);
                ++connections_;
                messages_.clear();
            }
            changed_.notify_all();
            session->outbox.push_back(R"({"type":"session_id","session_id":"x"})");
            writeNext(session);
            receive(session);
        });
        accept();
    });
}

void FakePageAgent::receive(std::shared_ptr<Session> session) {
    session->ws.async_read(session->buffer, [this, session](beast::error_code error, std::size_t) {
        if (error) return;
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(beast::buffers_to_string(session->buffer.data()));
        }
        session->buffer.consume(session->buffer.size());
        changed_.notify_all();
        receive(session);
    });
}

void FakePageAgent::writeNext(std::shared_ptr<Session> session) {
    if (session->writing || session->outbox.empty()) return;
    session->writing = true;
    session->ws.text(true);
    session->ws.async_write(asio::buffer(session->outbox.front()), [this, session](beast::error_code, std::size_t) {
        session->outbox.pop_front();
        session->writing = false;
        writeNext(session);
    });
}

bool FakePageAgent::waitForConnections(std::size_t count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return connections_ >= count; });
}

std::optional<std::string> FakePageAgent::nextMessage(int timeoutMs) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !messages_.empty(); }))
        return std::nullopt;
    std::string message = messages_.front();
    messages_.pop_front();
    return message;
}

void FakePageAgent::send(const std::string& text) {
    asio::post(io_, [this, text] {
        if (!current_) return;
        current_->outbox.push_back(text);
        writeNext(current_);
    });
}

void FakePageAgent::closeConnection() {
    asio::post(io_, [this] {
        if (!current_) return;
        auto session = std::move(current_);
        session->ws.async_close(websocket::close_code::normal, [session](beast::error_code) {});
    });
}

void FakePageAgent::ping() {
    asio::post(io_, [this] {
        if (current_) current_->ws.async_ping({}, [session = current_](beast::error_code) {});
    });
}

bool FakePageAgent::waitForPongs(std::size_t count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pongs_ >= count; });
}

}  // namespace velmor::bridge::test
