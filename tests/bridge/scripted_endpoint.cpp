#include "bridge/scripted_endpoint.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>

namespace velmor::bridge::test {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

struct ScriptedEndpoint::Impl {
    explicit Impl(Responder responder) : responder(std::move(responder)), acceptor(io, {asio::ip::address_v4::loopback(), 0}) {}

    void accept() {
        for (int number = 1;; ++number) {
            auto socket = std::make_shared<tcp::socket>(io);
            boost::system::error_code error;
            acceptor.accept(*socket, error);
            if (error || stopping) return;
            std::lock_guard lock(mutex);
            sockets.push_back(socket);
            threads.emplace_back([this, socket, number] { serve(*socket, number); });
        }
    }

    void serve(tcp::socket& socket, int number) {
        boost::beast::flat_buffer buffer;
        for (;;) {
            http::request<http::string_body> incoming;
            boost::system::error_code error;
            http::read(socket, buffer, incoming, error);
            if (error) return;
            Request request{number, {}, incoming.body()};
            for (const auto& field : incoming) {
                std::string name(field.name_string());
                for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                request.headers[name] = std::string(field.value());
            }
            {
                std::lock_guard lock(mutex);
                received.push_back(request);
            }
            auto pieces = responder(request);
            if (pieces.empty()) return socket.close(error);
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                asio::write(socket, asio::buffer(pieces[i]), error);
                if (error) return;
            }
        }
    }

    Responder responder;
    asio::io_context io;
    tcp::acceptor acceptor;
    std::atomic<bool> stopping = false;
    std::mutex mutex;
    std::vector<std::shared_ptr<tcp::socket>> sockets;
    std::vector<std::thread> threads;
    std::vector<Request> received;
    std::thread acceptThread;
};

ScriptedEndpoint::ScriptedEndpoint(Responder responder) : impl_(std::make_unique<Impl>(std::move(responder))) {
    port_ = impl_->acceptor.local_endpoint().port();
    impl_->acceptThread = std::thread([this] { impl_->accept(); });
}

ScriptedEndpoint::~ScriptedEndpoint() {
    impl_->stopping = true;
    boost::system::error_code ignored;
    impl_->acceptor.cancel(ignored);
    // Wakes the accept with a connection of its own, as cancel does not reach a blocking accept.
    tcp::socket wake(impl_->io);
    wake.connect({asio::ip::address_v4::loopback(), port_}, ignored);
    impl_->acceptThread.join();
    {
        std::lock_guard lock(impl_->mutex);
        for (auto& socket : impl_->sockets) socket->shutdown(tcp::socket::shutdown_both, ignored);
    }
    // No thread is started any more, and the connections' threads take the lock themselves.
    for (auto& thread : impl_->threads) thread.join();
}

std::vector<ScriptedEndpoint::Request> ScriptedEndpoint::requests() {
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

std::string ScriptedEndpoint::answer(int status, const std::string& body, const std::string& extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: application/json\r\n" + extraHeaders +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace velmor::bridge::test
