#include "bridge/http_forwarder.h"

#include "bridge/answer_line.h"
#include "bridge/output_lines.h"

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>
#include <memory>

namespace velmor::bridge {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

namespace {

// Covers the whole exchange, connect to last byte: a tool call may legitimately run for
// minutes, but a hung application must not hold the client's request forever.
constexpr std::chrono::seconds kExchangeTimeout{300};

// One POST and its answer, kept alive by the handlers that still need it.
class HttpExchange : public std::enable_shared_from_this<HttpExchange> {
public:
    HttpExchange(asio::io_context& io, const BridgeConfig& config, std::string message, nlohmann::json requestId,
                 HttpForwarder::Completion completion)
        : stream_(io), port_(static_cast<unsigned short>(config.port)), requestId_(std::move(requestId)),
          completion_(std::move(completion)) {
        request_.method(http::verb::post);
        request_.target("/mcp");
        request_.version(11);
        request_.set(http::field::host, "127.0.0.1:" + std::to_string(port_));
        request_.set(http::field::content_type, "application/json");
        request_.set(http::field::authorization, "Bearer " + config.token);
        request_.keep_alive(false);
        request_.body() = std::move(message);
        request_.prepare_payload();
        // Whole screenshots fit well within the limit; what is larger is not held.
        response_.body_limit(kMaxAnswerBytes);
    }

    void start() {
        stream_.expires_after(kExchangeTimeout);
        asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port_);
        stream_.async_connect(endpoint, [self = shared_from_this()](beast::error_code error) {
            if (error) return self->fail(error.message());
            self->send();
        });
    }

private:
    void send() {
        http::async_write(stream_, request_, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error) return self->fail(error.message());
            self->receive();
        });
    }

    // The header first: Boost 1.74's parser loses its body-limit error when it reads the
    // header and body in one go, and then takes an announced body of any length.
    void receive() {
        http::async_read_header(stream_, buffer_, response_, [self = shared_from_this()](beast::error_code error, std::size_t) {
            auto length = self->response_.content_length();
            if (error == http::error::body_limit || (!error && length && *length > kMaxAnswerBytes))
                return self->fail("answer larger than 64 MiB refused");
            if (error) return self->fail(error.message());
            self->receiveBody();
        });
    }

    void receiveBody() {
        http::async_read(stream_, buffer_, response_, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error == http::error::body_limit) return self->fail("answer larger than 64 MiB refused");
            if (error) return self->fail(error.message());
            auto& response = self->response_.get();
            std::string line = answerLine(self->requestId_, response.result_int(), response.body());
            // The answer may be large; it is not needed once its line is made.
            std::string().swap(response.body());
            self->finish(std::move(line));
        });
    }

    void fail(std::string_view description) { finish(errorLine(requestId_, description)); }

    void finish(std::string line) {
        beast::error_code ignored;
        stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        completion_(std::move(line));
    }

    beast::tcp_stream stream_;
    unsigned short port_;
    nlohmann::json requestId_;
    HttpForwarder::Completion completion_;
    http::request<http::string_body> request_;
    beast::flat_buffer buffer_;
    http::response_parser<http::string_body> response_;
};

}  // namespace

HttpForwarder::HttpForwarder(asio::io_context& io, BridgeConfig config) : io_(io), config_(std::move(config)) {}

void HttpForwarder::forward(std::string message, nlohmann::json requestId, Completion completion) {
    if (config_.port < 0 || config_.port > 65535) {
        completion(errorLine(requestId, "bad URL"));
        return;
    }
    auto exchange =
        std::make_shared<HttpExchange>(io_, config_, std::move(message), std::move(requestId), std::move(completion));
    asio::post(io_, [exchange] { exchange->start(); });
}

}  // namespace velmor::bridge
