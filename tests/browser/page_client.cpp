#include "browser/page_client.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

namespace velmor::test {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

struct PageClient::Impl {
    virtual ~Impl() = default;
    virtual void write(const std::string& text) = 0;
    virtual void ping() = 0;
    virtual void closeSocket() = 0;

    void received(std::string frame) {
        std::lock_guard lock(mutex);
        frames.push_back(std::move(frame));
        changed.notify_all();
    }
    void ended() {
        std::lock_guard lock(mutex);
        closed = true;
        changed.notify_all();
    }
    void ponged() {
        std::lock_guard lock(mutex);
        ++pongs;
        changed.notify_all();
    }

    asio::io_context io;
    // Keeps the client's thread running after the server ended the connection, so that a
    // later send fails instead of waiting for a thread that is gone.
    asio::executor_work_guard<asio::io_context::executor_type> keepRunning = asio::make_work_guard(io);
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> frames;
    bool closed = false;
    int pongs = 0;
};

namespace {

template <class Stream>
struct ClientImpl final : PageClient::Impl {
    template <class... Args>
    explicit ClientImpl(Args&&... args) : ws(io, std::forward<Args>(args)...) {}

    void open(uint16_t port, const std::string& origin) {
        beast::get_lowest_layer(ws).connect(tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), port));
        beast::get_lowest_layer(ws).set_option(tcp::no_delay(true));
        if constexpr (!std::is_same_v<Stream, websocket::stream<tcp::socket>>) {
            SSL_set_tlsext_host_name(ws.next_layer().native_handle(), "localhost");
            ws.next_layer().set_verify_callback(asio::ssl::host_name_verification("localhost"));
            ws.next_layer().handshake(asio::ssl::stream_base::client);
        }
        if (!origin.empty()) {
            ws.set_option(websocket::stream_base::decorator(
                [origin](websocket::request_type& request) { request.set(beast::http::field::origin, origin); }));
        }
        ws.handshake("localhost:" + std::to_string(port), "/");
        ws.control_callback([this](websocket::frame_type kind, beast::string_view) {
            if (kind == websocket::frame_type::pong) ponged();
        });
        read();
        thread = std::thread([this] { io.run(); });
    }

    void read() {
        ws.async_read(buffer, [this](beast::error_code error, size_t) {
            if (error) return ended();
            received(beast::buffers_to_string(buffer.data()));
            buffer.consume(buffer.size());
            read();
        });
    }

    // Runs `operation` on the client's thread and waits for it, so writes never overlap.
    template <class Operation>
    void onClientThread(Operation operation) {
        std::promise<void> done;
        asio::post(io, [&] {
            operation([&](beast::error_code) { done.set_value(); });
        });
        done.get_future().wait();
    }

    void write(const std::string& text) override {
        onClientThread([&](auto finished) {
            ws.text(true);
            ws.async_write(asio::buffer(text), [finished](beast::error_code error, size_t) { finished(error); });
        });
    }
    void ping() override {
        onClientThread([&](auto finished) { ws.async_ping({}, finished); });
    }
    void closeSocket() override {
        asio::post(io, [this] {
            beast::error_code ignored;
            beast::get_lowest_layer(ws).close(ignored);
        });
    }

    Stream ws;
    beast::flat_buffer buffer;
};

}  // namespace

PageClient::PageClient(uint16_t port, asio::ssl::context* tls, const std::string& origin) {
    if (tls) {
        auto client = std::make_unique<ClientImpl<websocket::stream<asio::ssl::stream<tcp::socket>>>>(*tls);
        client->open(port, origin);
        impl_ = std::move(client);
    } else {
        auto client = std::make_unique<ClientImpl<websocket::stream<tcp::socket>>>();
        client->open(port, origin);
        impl_ = std::move(client);
    }
    if (auto greeting = nextJson(); greeting && greeting->value("type", "") == "session_id")
        sessionId_ = greeting->value("sessionId", "");
}

PageClient::~PageClient() {
    close();
    impl_->keepRunning.reset();
    impl_->thread.join();
}

void PageClient::send(const std::string& text) { impl_->write(text); }

std::optional<std::string> PageClient::next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl_->mutex);
    if (!impl_->changed.wait_for(lock, timeout, [&] { return !impl_->frames.empty(); })) return std::nullopt;
    std::string frame = std::move(impl_->frames.front());
    impl_->frames.pop_front();
    return frame;
}

std::optional<nlohmann::json> PageClient::nextJson(std::chrono::milliseconds timeout) {
    auto frame = next(timeout);
    if (!frame) return std::nullopt;
    return nlohmann::json::parse(*frame, nullptr, false);
}

bool PageClient::pingAnswered(std::chrono::milliseconds timeout) {
    int before;
    {
        std::lock_guard lock(impl_->mutex);
        before = impl_->pongs;
    }
    impl_->ping();
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->pongs > before; });
}

bool PageClient::closedByServer(std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->closed; });
}

void PageClient::close() { impl_->closeSocket(); }

}  // namespace velmor::test
