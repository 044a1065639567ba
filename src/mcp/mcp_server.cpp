#include "mcp/mcp_server.h"

#include "base/json_depth.h"
#include "base/json_fields.h"
#include "base/log.h"
#include "mcp/event_streams.h"
#include "mcp/json_rpc.h"
#include "mcp/protocol_version.h"
#include "mcp/session_registry.h"
#include "mcp/worker_pool.h"
#include "net/bounded_accept.h"
#include "net/connection_limit.h"
#include "net/loopback_listener.h"

#include <array>
#include <boost/asio.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <deque>
#include <optional>
#include <thread>
#include <vector>

namespace velmor::mcp {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr std::string_view kListChanged = R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})";

// What the transport needs to know of a message before it runs: whether it opens a
// session, and whether its client wants to hear of its progress. Most messages mention
// neither, and are not parsed here at all.
struct MessageTraits {
    std::optional<std::string> initializeVersion;  // the revision an initialize settles on
    bool wantsProgress = false;
};

MessageTraits traitsOf(std::string_view body) {
    MessageTraits traits;
    bool mayInitialize = body.find("\"initialize\"") != std::string_view::npos;
    bool mayWantProgress = body.find("\"progressToken\"") != std::string_view::npos;
    if (!mayInitialize && !mayWantProgress) return traits;
    nlohmann::json message = parseBoundedJson(body);
    if (!message.is_object()) return traits;
    const nlohmann::json* method = findField(message, "method");
    const nlohmann::json* params = findField(message, "params");
    if (params && params->is_object()) {
        const nlohmann::json* meta = findField(*params, "_meta");
        traits.wantsProgress = meta && meta->is_object() && meta->contains("progressToken");
    }
    if (method && *method == "initialize" && message.contains("id")) {
        const nlohmann::json* requested = params && params->is_object() ? findField(*params, "protocolVersion") : nullptr;
        traits.initializeVersion =
            std::string(negotiatedProtocolVersion(requested && requested->is_string() ? requested->get<std::string>() : ""));
    }
    return traits;
}

bool startsAsArray(std::string_view body) {
    size_t first = body.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && body[first] == '[';
}

// One JSON-RPC message as a server-sent event; a line break inside it (none in compact
// JSON) would continue the data on a line of its own.
std::string eventOf(std::string_view message) {
    std::string event = "event: message\ndata: ";
    for (char c : message) {
        if (c == '\n') event += "\ndata: ";
        else if (c != '\r') event += c;
    }
    event += "\n\n";
    return event;
}

std::string chunkOf(std::string_view data) {
    char size[20];
    int length = std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    std::string chunk(size, static_cast<size_t>(length));
    chunk.append(data).append("\r\n");
    return chunk;
}

std::string eventStreamHead(bool chunked, const std::string& session) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-cache\r\n";
    if (!session.empty()) head += "Mcp-Session-Id: " + session + "\r\n";
    head += chunked ? "Transfer-Encoding: chunked\r\n\r\n" : "Connection: close\r\n\r\n";
    return head;
}

}  // namespace

struct McpServer::Impl {
    Impl(uint16_t port, std::string token, BodyHandler handler, Limits limits)
        : port(port), token(std::move(token)), handler(std::move(handler)), limits(limits),
          connections(limits.maxConnections, /*newcomersDisplaceWaiting=*/true), sessions(limits.maxSessions),
          streams(std::make_shared<EventStreams>(limits.maxEventStreams)) {}

    uint16_t port;
    const std::string token;
    const BodyHandler handler;
    const Limits limits;
    // Declared before io: the connections, destroyed with io's pending handlers, hand
    // their slots back to it.
    net::ConnectionLimit connections;
    SessionRegistry sessions;
    // Shared with whoever announces tool changes, who may outlive the server.
    std::shared_ptr<EventStreams> streams;

    asio::io_context io;
    std::optional<tcp::acceptor> acceptor;
    std::vector<std::thread> ioThreads;
    // Declared after io: destroyed first, so no worker outlives the context it posts to.
    std::unique_ptr<WorkerPool> workers =
        std::make_unique<WorkerPool>(limits.maxRunningCalls, limits.maxQueuedCalls);
};

namespace {

// One client connection: requests read one after another (pipelined ones wait in the
// buffer), each answered in turn, the connection kept for the next unless either side
// said otherwise. Every handler runs on the connection's strand.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, std::unique_ptr<net::ConnectionLimit::Slot> slot, McpServer::Impl& server)
        : socket_(std::move(socket)), timer_(socket_.get_executor()), slot_(std::move(slot)), server_(server) {}

    void start() {
        slot_->onDisplaced([weak = weak_from_this(), executor = socket_.get_executor()] {
            asio::post(executor, [weak] {
                if (auto self = weak.lock(); self && (self->phase_ == Phase::Idle || self->phase_ == Phase::Reading))
                    self->close();
            });
        });
        // The first request's deadline runs from the acceptance.
        readRequest();
    }

private:
    enum class Phase { Idle, Reading, Working, Answering, Streaming, Closed };

    // Times out the present phase: whatever the connection does when the timer fires, it
    // is closed only if still in that phase.
    void armTimer(std::chrono::milliseconds after, Phase phase) {
        timer_.expires_after(after);
        timer_.async_wait([self = shared_from_this(), phase](boost::system::error_code error) {
            if (!error && self->phase_ == phase) self->close();
        });
    }

    void awaitNextRequest() {
        if (buffer_.size() > 0) return readRequest();  // pipelined: already here
        phase_ = Phase::Idle;
        armTimer(server_.limits.idleTimeout, Phase::Idle);
        socket_.async_wait(tcp::socket::wait_read, [self = shared_from_this()](boost::system::error_code error) {
            if (self->phase_ != Phase::Idle) return;
            if (error) return self->close();
            self->readRequest();
        });
    }

    void readRequest() {
        phase_ = Phase::Reading;
        armTimer(server_.limits.requestDeadline, Phase::Reading);
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(server_.limits.maxHeaderBytes));
        parser_->body_limit(server_.limits.maxRequestBytes);
        http::async_read_header(socket_, buffer_, *parser_, [self = shared_from_this()](beast::error_code error, size_t) {
            self->onHeader(error);
        });
    }

    void onHeader(beast::error_code error) {
        if (phase_ != Phase::Reading) return;
        if (error == http::error::header_limit) return refuse(errorAnswer(431, "headers too large"));
        if (error == http::error::body_limit) return refuse(errorAnswer(413, "request too large"));
        if (error == http::error::end_of_stream || error == asio::error::eof || error == asio::error::operation_aborted)
            return close();
        if (error.category() == make_error_code(http::error::bad_target).category()) return refuse(errorAnswer(400, "malformed request"));
        if (error) return close();
        const auto& header = parser_->get().base();
        keepAlive_ = header.version() >= 11 && parser_->keep_alive();
        // A length above the bound is refused before a byte of the body is read.
        if (auto length = parser_->content_length(); length && *length > server_.limits.maxRequestBytes)
            return refuse(errorAnswer(413, "request too large"));
        auto verdict = admitRequest(header, server_.token, server_.sessions);
        if (auto* refusal = std::get_if<HttpAnswer>(&verdict)) return refuse(std::move(*refusal));
        request_ = std::get<AdmittedRequest>(std::move(verdict));
        if (parser_->is_done()) return dispatch();
        if (beast::iequals(header[http::field::expect], "100-continue")) enqueue("HTTP/1.1 100 Continue\r\n\r\n");
        http::async_read(socket_, buffer_, *parser_, [self = shared_from_this()](beast::error_code error, size_t) {
            if (self->phase_ != Phase::Reading) return;
            if (error == http::error::body_limit) return self->refuse(errorAnswer(413, "request too large"));
            if (error) return self->close();
            self->dispatch();
        });
    }

    // Answered from the headers: the body, if any, stays unread, so the connection cannot
    // go on to a next request unless there was none.
    void refuse(HttpAnswer answer) {
        bool keep = keepAlive_ && parser_ && parser_->is_header_done() && parser_->is_done();
        respond(std::move(answer), keep);
    }

    void respond(HttpAnswer answer, bool keepAlive) {
        phase_ = Phase::Answering;
        timer_.cancel();
        enqueue(formatResponse(answer, keepAlive));
        finishAfterWrites(keepAlive);
    }

    void dispatch() {
        switch (request_.kind) {
            case McpRequestKind::Message: return runMessage();
            case McpRequestKind::OpenEventStream: return openEventStream();
            case McpRequestKind::EndSession:
                server_.sessions.end(request_.session);
                server_.streams->endSession(request_.session);
                return respond({204, "", ""}, keepAlive_);
        }
    }

    // The message runs on a worker: a tool call may block for minutes.
    void runMessage() {
        phase_ = Phase::Working;
        timer_.cancel();
        slot_->markBusy();
        std::string body = std::move(parser_->get().body());
        parser_.reset();
        MessageTraits traits = traitsOf(body);
        if (traits.initializeVersion) session_ = server_.sessions.open(*traits.initializeVersion);
        else session_ = request_.session;
        streamAnswer_ = request_.accepts.eventStream && (traits.wantsProgress || !request_.accepts.json);

        RequestChannel channel{session_, {}};
        if (streamAnswer_) {
            channel.notify = [weak = weak_from_this(), executor = socket_.get_executor()](const std::string& message) {
                asio::post(executor, [weak, message] {
                    if (auto self = weak.lock()) self->sendMessageEvent(message);
                });
            };
        }
        bool batch = startsAsArray(body) && server_.sessions.protocolVersion(session_) == "2025-03-26";
        // Shared so that a call refused for want of a worker can still be answered by its id.
        auto text = std::make_shared<const std::string>(std::move(body));
        auto run = [self = shared_from_this(), text, channel = std::move(channel), batch]() {
            const BodyHandler& handler = self->server_.handler;
            std::optional<std::string> answer =
                batch ? handleBatch(*text, [&](std::string_view one) { return handler(one, channel); })
                      : handler(*text, channel);
            asio::post(self->socket_.get_executor(), [self, answer = std::move(answer)]() mutable {
                self->answerMessage(std::move(answer));
            });
        };
        if (!server_.workers->tryPost(std::move(run))) answerMessage(busyResponse(*text));
    }

    void answerMessage(std::optional<std::string> answer) {
        if (phase_ == Phase::Closed) return;
        slot_->markFinished();
        if (streamHeadSent_ || (answer && streamAnswer_)) {
            if (answer) sendMessageEvent(*answer);
            streamHeadSent_ = false;
            if (chunked()) enqueue("0\r\n\r\n");
            phase_ = Phase::Answering;
            return finishAfterWrites(chunked());
        }
        if (!answer) return respond({202, "", ""}, keepAlive_);
        HttpAnswer json{200, std::move(*answer)};
        if (!session_.empty() && session_ != request_.session) json.headers.emplace_back("Mcp-Session-Id", session_);
        respond(std::move(json), keepAlive_);
    }

    // A stream ends with its connection unless chunks can mark its end.
    bool chunked() const { return keepAlive_; }

    // The stream's head goes out with its first event, so that a message that needs no
    // answer can still be answered 202 when nothing was sent about it.
    void sendMessageEvent(const std::string& message) {
        if (phase_ == Phase::Closed) return;
        if (!streamHeadSent_) {
            std::string announced = session_ != request_.session ? session_ : "";
            enqueue(eventStreamHead(chunked(), announced));
            streamHeadSent_ = true;
        }
        std::string event = eventOf(message);
        enqueue(chunked() ? chunkOf(event) : event);
    }

    void openEventStream() {
        auto weak = weak_from_this();
        auto executor = socket_.get_executor();
        streamNumber_ = server_.streams->add(
            {request_.session,
             [weak, executor](const std::string& message) {
                 asio::post(executor, [weak, message] {
                     if (auto self = weak.lock(); self && self->phase_ == Phase::Streaming)
                         self->enqueue(self->streamChunk(eventOf(message)));
                 });
             },
             [weak, executor] {
                 asio::post(executor, [weak] {
                     if (auto self = weak.lock()) self->endEventStream();
                 });
             }});
        if (streamNumber_ == 0) return respond(errorAnswer(429, "too many event streams"), keepAlive_);
        phase_ = Phase::Streaming;
        timer_.cancel();
        slot_->markBusy();  // the streams have their own bound; a newcomer must not close one
        enqueue(eventStreamHead(keepAlive_, ""));
        keepStreamAlive();
        // The client says nothing more on this connection; a read ends only when it goes.
        socket_.async_read_some(asio::buffer(discard_), [self = shared_from_this()](boost::system::error_code, size_t) {
            self->close();
        });
    }

    std::string streamChunk(const std::string& data) const { return keepAlive_ ? chunkOf(data) : data; }

    void keepStreamAlive() {
        timer_.expires_after(server_.limits.streamKeepAlive);
        timer_.async_wait([self = shared_from_this()](boost::system::error_code error) {
            if (error || self->phase_ != Phase::Streaming) return;
            self->enqueue(self->streamChunk(": keep-alive\n\n"));
            self->keepStreamAlive();
        });
    }

    void endEventStream() {
        if (phase_ != Phase::Streaming) return;
        phase_ = Phase::Answering;
        timer_.cancel();
        if (keepAlive_) enqueue("0\r\n\r\n");
        finishAfterWrites(false);
    }

    void enqueue(std::string bytes) {
        writes_.push_back(std::move(bytes));
        if (!writing_) writeNext();
    }

    void writeNext() {
        if (writes_.empty()) {
            writing_ = false;
            if (finishing_) finish();
            return;
        }
        writing_ = true;
        asio::async_write(socket_, asio::buffer(writes_.front()),
                          [self = shared_from_this()](boost::system::error_code error, size_t) {
                              if (error) return self->close();
                              self->writes_.pop_front();
                              self->writeNext();
                          });
    }

    // Once everything queued is written: the next request, or the end.
    void finishAfterWrites(bool keepAlive) {
        finishing_ = true;
        keepAfterWrites_ = keepAlive;
        if (!writing_) finish();
    }

    void finish() {
        finishing_ = false;
        if (phase_ == Phase::Closed) return;
        if (!keepAfterWrites_) return close();
        slot_->markFinished();
        awaitNextRequest();
    }

    void close() {
        if (phase_ == Phase::Closed) return;
        phase_ = Phase::Closed;
        if (streamNumber_ != 0) server_.streams->remove(streamNumber_);
        boost::system::error_code ignored;
        timer_.cancel();
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

    tcp::socket socket_;
    asio::steady_timer timer_;
    std::unique_ptr<net::ConnectionLimit::Slot> slot_;
    McpServer::Impl& server_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    AdmittedRequest request_;
    Phase phase_ = Phase::Idle;
    bool keepAlive_ = false;
    std::string session_;  // the session the present message belongs to, new at an initialize
    bool streamAnswer_ = false;
    bool streamHeadSent_ = false;
    uint64_t streamNumber_ = 0;
    std::array<char, 256> discard_;
    std::deque<std::string> writes_;
    bool writing_ = false;
    bool finishing_ = false;
    bool keepAfterWrites_ = false;
};

}  // namespace

McpServer::McpServer(uint16_t port, std::string token, BodyHandler handler)
    : McpServer(port, std::move(token), std::move(handler), Limits{}) {}

McpServer::McpServer(uint16_t port, std::string token, BodyHandler handler, Limits limits)
    : impl_(std::make_unique<Impl>(port, std::move(token), std::move(handler), limits)) {}

McpServer::~McpServer() {
    // Announcements stop before the I/O context goes; the I/O threads stop next, so no
    // connection reaches for the workers while they go; running calls still finish, and
    // their answers are dropped with the connections.
    impl_->streams->close();
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

std::function<void()> McpServer::toolChangeNotifier() const {
    return [streams = impl_->streams] { streams->broadcast(std::string(kListChanged)); };
}

}  // namespace velmor::mcp
