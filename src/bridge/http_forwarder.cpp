#include "bridge/http_forwarder.h"

#include "base/json_depth.h"
#include "bridge/answer_line.h"
#include "bridge/event_stream.h"
#include "bridge/output_lines.h"

#include <boost/asio/post.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>
#include <memory>
#include <optional>

namespace velmor::bridge {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using ConnectionPtr = ConnectionPool::ConnectionPtr;

namespace {

// Covers one exchange, request to last byte: a tool call may legitimately run for
// minutes, but a hung application must not hold the client's request forever.
constexpr std::chrono::seconds kExchangeTimeout{300};

// Messages that change nothing when the application receives them twice, and so may be
// sent again when a connection closed under them before any answer came.
bool maySendTwice(const InputMessage& info) {
    if (!info.expectsAnswer) return info.method.starts_with("notifications/");
    return info.method == "initialize" || info.method == "ping" || info.method == "tools/list" ||
           info.method == "resources/list" || info.method == "resources/templates/list" ||
           info.method == "prompts/list";
}

bool closedBeforeAnswering(beast::error_code error) {
    return error == http::error::end_of_stream || error == asio::error::eof ||
           error == asio::error::connection_reset || error == asio::error::broken_pipe;
}

}  // namespace

// One message's trip: the POST, then the answer as one line, or as the lines of an event
// stream, with at most one resend on a fresh connection and one retry in a new session.
// Kept alive by the handlers that still need it.
class HttpForwarder::Exchange : public std::enable_shared_from_this<Exchange> {
public:
    // What becomes of the lines: the client's messages write them to standard output;
    // the replayed initialize of a session renewal keeps them to itself.
    struct Sink {
        std::function<void(std::string_view)> writeLine;
        std::function<void()> done;
    };

    Exchange(HttpForwarder& forwarder, std::string message, InputMessage info, Sink sink)
        : forwarder_(forwarder), message_(std::move(message)), info_(std::move(info)), sink_(std::move(sink)) {}

    void start() {
        auto& pool = forwarder_.pool_;
        bool mayReuse = pool.reuse() == ConnectionPool::Reuse::Proven ||
                        (pool.reuse() == ConnectionPool::Reuse::Untested && maySendTwice(info_));
        pool.acquire(mayReuse, !info_.expectsAnswer, [self = shared_from_this()](beast::error_code error, ConnectionPtr connection) {
            self->connection_ = std::move(connection);
            if (error) return self->fail(error.message(), false);
            self->send();
        });
    }

private:
    void send() {
        const Session& session = forwarder_.session_;
        request_ = {};
        request_.method(http::verb::post);
        request_.target("/mcp");
        request_.version(11);
        request_.set(http::field::host, "127.0.0.1:" + std::to_string(forwarder_.config_.port));
        request_.set(http::field::content_type, "application/json");
        request_.set(http::field::accept, "application/json, text/event-stream");
        request_.set(http::field::authorization, "Bearer " + forwarder_.config_.token);
        sentSessionId_.clear();
        if (info_.method != "initialize") {
            sentSessionId_ = session.id;
            if (!session.id.empty()) request_.set("Mcp-Session-Id", session.id);
            if (!session.protocolVersion.empty()) request_.set("MCP-Protocol-Version", session.protocolVersion);
        }
        request_.keep_alive(forwarder_.pool_.reuse() != ConnectionPool::Reuse::Refused);
        request_.body() = message_;
        request_.prepare_payload();
        connection_->stream.expires_after(kExchangeTimeout);
        http::async_write(connection_->stream, request_, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error && self->connection_->reused && closedBeforeAnswering(error)) return self->closedUnanswered();
            if (error) return self->fail(error.message(), false);
            self->receive();
        });
    }

    // The header first: Boost 1.74's parser loses its body-limit error when it reads the
    // header and body in one go, and then takes an announced body of any length.
    void receive() {
        parser_.emplace();
        parser_->body_limit(kMaxAnswerBytes);
        http::async_read_header(connection_->stream, connection_->buffer, *parser_,
                                [self = shared_from_this()](beast::error_code error, std::size_t) {
                                    self->receivedHeader(error);
                                });
    }

    void receivedHeader(beast::error_code error) {
        if (error && connection_->reused && !parser_->got_some() && closedBeforeAnswering(error))
            return closedUnanswered();
        auto length = parser_->content_length();
        if (error == http::error::body_limit || (!error && length && *length > kMaxAnswerBytes))
            return fail("answer larger than 64 MiB refused", false);
        if (error) return fail(error.message(), false);
        if (connection_->reused) forwarder_.pool_.answeredOnReusedConnection();

        const auto& header = parser_->get();
        if (header.result_int() == 404 && !sentSessionId_.empty() && !renewedSession_) return renewSession();
        if (header.result_int() == 200 && header[http::field::content_type].starts_with("text/event-stream")) {
            events_.emplace(kMaxAnswerBytes, [this](std::string_view data) { streamedEvent(data); });
            parser_->body_limit(boost::none);
            return receiveEvents();
        }
        http::async_read(connection_->stream, connection_->buffer, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) { self->receivedBody(error); });
    }

    void receivedBody(beast::error_code error) {
        if (error == http::error::body_limit) return fail("answer larger than 64 MiB refused", false);
        if (error) return fail(error.message(), false);
        auto& response = parser_->get();
        if (info_.method == "initialize") learnSession(response);
        std::string line = answerLine(info_.id, response.result_int(), response.body());
        // The answer may be large; it is not needed once its line is made.
        std::string().swap(response.body());
        finish(std::move(line), parser_->keep_alive());
    }

    // The application answers with an event stream when it has more to say than the
    // answer: each event's message becomes a line as soon as it is complete.
    void receiveEvents() {
        http::async_read_some(connection_->stream, connection_->buffer, *parser_,
                              [self = shared_from_this()](beast::error_code error, std::size_t) {
                                  self->receivedEvents(error);
                              });
    }

    void receivedEvents(beast::error_code error) {
        std::string& body = parser_->get().body();
        bool withinBounds = events_->feed(body);
        body.clear();
        if (answered_) return;  // the stream's job is done; the connection is already let go
        if (!withinBounds) return fail("event larger than 64 MiB refused", false);
        if (error) return fail(error.message(), false);
        if (parser_->is_done()) return fail("Velmor's event stream ended without an answer", parser_->keep_alive());
        receiveEvents();
    }

    void streamedEvent(std::string_view data) {
        if (answered_) return;
        StreamedMessage message = streamedMessage(info_.id, data);
        if (message.line.empty()) return;
        if (!message.isAnswer) return sink_.writeLine(message.line);
        answered_ = true;
        // Whatever else the stream might still carry belongs to no request: the
        // connection goes rather than being read on.
        finish(std::move(message.line), false);
    }

    void learnSession(const http::response<http::string_body>& response) {
        if (response.result_int() != 200) return;
        Session& session = forwarder_.session_;
        session.id = std::string(response["Mcp-Session-Id"]);
        session.initializeLine = message_;
        auto answer = parseBoundedJson(response.body());
        const nlohmann::json* version = nullptr;
        if (answer.is_object() && answer.contains("result") && answer["result"].is_object())
            if (auto found = answer["result"].find("protocolVersion"); found != answer["result"].end() && found->is_string())
                version = &*found;
        session.protocolVersion = version ? version->get<std::string>() : "";
    }

    // The connection closed before a byte of the answer came. On a reused connection that
    // is what an application that serves one request per connection, or one that closed
    // an idle connection just as the request went out, does without having read the
    // request; but an application that read it and broke off while carrying it out looks
    // the same from here. So the message goes again, once, on a fresh connection only when
    // a second delivery changes nothing.
    void closedUnanswered() {
        forwarder_.pool_.closedUnansweredOnReusedConnection();
        forwarder_.pool_.release(connection_, false);
        connection_.reset();
        if (resent_ || !maySendTwice(info_))
            return fail("Velmor closed the connection before answering; the request was not sent again, as it may "
                        "have been carried out",
                        false);
        resent_ = true;
        start();
    }

    void renewSession() {
        renewedSession_ = true;
        forwarder_.pool_.release(connection_, false);
        connection_.reset();
        forwarder_.renewSession(sentSessionId_, [self = shared_from_this()] { self->start(); });
    }

    void fail(std::string_view description, bool keepConnection) {
        finish(errorLine(info_.id, description), keepConnection);
    }

    void finish(std::string line, bool keepConnection) {
        if (connection_) forwarder_.pool_.release(connection_, keepConnection);
        connection_.reset();
        deliver(std::move(line));
    }

    void deliver(std::string line) {
        if (info_.expectsAnswer) sink_.writeLine(line);
        if (sink_.done) sink_.done();
    }

    HttpForwarder& forwarder_;
    const std::string message_;
    const InputMessage info_;
    const Sink sink_;
    ConnectionPtr connection_;
    http::request<http::string_body> request_;
    std::optional<http::response_parser<http::string_body>> parser_;
    std::optional<EventStream> events_;
    std::string sentSessionId_;
    bool answered_ = false;
    bool resent_ = false;
    bool renewedSession_ = false;
};

HttpForwarder::HttpForwarder(asio::io_context& io, BridgeConfig config, StdoutLines& stdoutLines)
    : io_(io), config_(std::move(config)), stdoutLines_(stdoutLines),
      pool_(io, static_cast<unsigned short>(config_.port)) {}

void HttpForwarder::forward(std::string message, InputMessage info) {
    if (config_.port < 0 || config_.port > 65535) {
        if (info.expectsAnswer) stdoutLines_.write(errorLine(info.id, "bad URL"));
        return;
    }
    bool expectsAnswer = info.expectsAnswer;
    if (expectsAnswer) unanswered_.withLocked([](std::size_t& unanswered) { ++unanswered; });
    asio::post(io_, [this, message = std::move(message), info = std::move(info), expectsAnswer]() mutable {
        if (info.method == "notifications/initialized") session_.initializedLine = message;
        auto done = [this, expectsAnswer] {
            if (!expectsAnswer) return;
            unanswered_.withLocked([this](std::size_t& unanswered) {
                if (--unanswered == 0) answered_.notify_all();
            });
        };
        Exchange::Sink sink{[this](std::string_view line) { stdoutLines_.write(line); }, done};
        std::make_shared<Exchange>(*this, std::move(message), std::move(info), std::move(sink))->start();
    });
}

void HttpForwarder::waitUntilAnswered() {
    unanswered_.withLockedWhen(answered_, [](std::size_t unanswered) { return unanswered == 0; }, [](std::size_t&) {});
}

void HttpForwarder::renewSession(const std::string& staleId, std::function<void()> then) {
    if (session_.id != staleId) return asio::post(io_, std::move(then));
    afterRenewal_.push_back(std::move(then));
    if (renewing_) return;
    renewing_ = true;
    session_.id.clear();
    session_.protocolVersion.clear();
    auto renewed = [this] {
        renewing_ = false;
        for (auto& resume : std::exchange(afterRenewal_, {})) asio::post(io_, std::move(resume));
    };
    if (session_.initializeLine.empty()) return renewed();
    auto replay = [this](const std::string& line, std::function<void()> done) {
        Exchange::Sink quiet{[](std::string_view) {}, std::move(done)};
        std::make_shared<Exchange>(*this, line, readInputMessage(line), std::move(quiet))->start();
    };
    replay(session_.initializeLine, [this, replay, renewed] {
        if (session_.initializedLine.empty()) return renewed();
        replay(session_.initializedLine, renewed);
    });
}

}  // namespace velmor::bridge
