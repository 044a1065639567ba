#include "browser/websocket_connection.h"

#include "base/log.h"
#include "browser/page_message.h"
#include "net/websocket_write_queue.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <chrono>
#include <mutex>

namespace velmor::browser {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

using PlainStream = websocket::stream<beast::tcp_stream>;
using TlsStream = websocket::stream<beast::ssl_stream<beast::tcp_stream>>;

constexpr std::chrono::seconds kTlsHandshakeTimeout{30};

// What a connection offers its outbox: taking a frame to send, from any thread.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void deliver(std::string text) = 0;
};

// The registry's handle on a connection. It outlives the connection in the registry's
// hands, so once detached it drops frames instead of reaching for an I/O context that may
// be gone; the connection detaches it on its own thread before the listener can stop.
class Outbox final : public PageConnection {
public:
    explicit Outbox(std::weak_ptr<FrameSink> sink) : sink_(std::move(sink)) {}

    void send(std::string text) override {
        std::lock_guard lock(mutex_);
        if (auto sink = sink_.lock()) sink->deliver(std::move(text));
    }

    void detach() {
        std::lock_guard lock(mutex_);
        sink_.reset();
    }

private:
    std::mutex mutex_;
    std::weak_ptr<FrameSink> sink_;
};

template <class Stream>
class Connection final : public WebSocketConnection,
                         public FrameSink,
                         public std::enable_shared_from_this<Connection<Stream>> {
public:
    template <class... StreamArgs>
    Connection(BrowserSessionManager& sessions, std::shared_ptr<asio::ssl::context> tls, StreamArgs&&... streamArgs)
        : sessions_(sessions),
          tls_(std::move(tls)),
          ws_(std::forward<StreamArgs>(streamArgs)...),
          authenticationDeadline_(ws_.get_executor()) {}

    void start() override {
        outbox_ = std::make_shared<Outbox>(this->weak_from_this());
        peer_.sessionId = sessions_.createSession(outbox_)->sessionId();
        authenticationDeadline_.expires_after(kAuthenticationDeadline);
        authenticationDeadline_.async_wait([self = this->shared_from_this()](beast::error_code error) {
            if (error || self->peer_.role != PagePeer::Role::Unauthenticated || self->ended_) return;
            Log::info("ws", "Not authenticated in time (" + self->peer_.sessionId + ")");
            self->end();
        });
        if constexpr (std::is_same_v<Stream, TlsStream>) {
            beast::get_lowest_layer(ws_).expires_after(kTlsHandshakeTimeout);
            ws_.next_layer().async_handshake(asio::ssl::stream_base::server,
                                             [self = this->shared_from_this()](beast::error_code error) {
                                                 if (error) return self->fail(error);
                                                 beast::get_lowest_layer(self->ws_).expires_never();
                                                 self->readUpgrade();
                                             });
        } else {
            readUpgrade();
        }
    }

    void close() override {
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().close(ignored);
    }

    void deliver(std::string text) override {
        asio::post(ws_.get_executor(), [self = this->shared_from_this(), text = std::move(text)]() mutable {
            self->enqueue(std::move(text));
        });
    }

private:
    // The upgrade request is read here rather than inside the WebSocket accept, so that its
    // Origin header is known: a page agent must connect from the page it was injected into.
    void readUpgrade() {
        http::async_read(ws_.next_layer(), buffer_, upgrade_,
                         [self = this->shared_from_this()](beast::error_code error, size_t) {
                             if (error) return self->fail(error);
                             self->peer_.handshakeOrigin = std::string(self->upgrade_[http::field::origin]);
                             self->acceptWebSocket();
                         });
    }

    void acceptWebSocket() {
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.read_message_max(kMaxMessageBytes);
        // Each message goes out as one final frame.
        ws_.auto_fragment(false);
        ws_.async_accept(upgrade_, [self = this->shared_from_this()](beast::error_code error) {
            if (error) return self->fail(error);
            self->open_ = true;
            self->upgrade_ = {};
            releaseBuffer(self->buffer_);
            Log::info("ws", "Browser connected: " + self->peer_.sessionId);
            self->outgoing_.flush(self->ws_, self);
            self->read();
        });
    }

    void read() {
        ws_.async_read(buffer_, [self = this->shared_from_this()](beast::error_code error, size_t) {
            if (error) return self->readEnded(error);
            std::string frame = beast::buffers_to_string(self->buffer_.data());
            // An idle connection should not keep the memory of the largest message it ever got.
            releaseBuffer(self->buffer_);
            if (!frame.empty() && processPageMessage(frame, self->peer_, self->sessions_) == PeerVerdict::Close)
                return self->end();
            if (self->peer_.role != PagePeer::Role::Unauthenticated) self->authenticationDeadline_.cancel();
            self->read();
        });
    }

    static void releaseBuffer(beast::flat_buffer& buffer) {
        buffer.clear();
        buffer.shrink_to_fit();
    }

    void readEnded(beast::error_code error) {
        // A close from either side, or a peer that just went away, is an ordinary end.
        if (error == websocket::error::closed || error == asio::error::operation_aborted ||
            error == asio::error::eof || error == asio::error::connection_reset ||
            error == asio::ssl::error::stream_truncated) {
            Log::info("ws", "Browser disconnected: " + peer_.sessionId);
        } else {
            Log::error("ws", "Receive error (" + peer_.sessionId + "): " + error.message());
        }
        end();
    }

    void fail(beast::error_code error) {
        Log::error("ws", "Connection failed (" + peer_.sessionId + "): " + error.message());
        end();
    }

    void end() {
        if (ended_) return;
        ended_ = true;
        authenticationDeadline_.cancel();
        outbox_->detach();
        sessions_.removeSession(peer_.sessionId);
        close();
    }

    // Frames queued before the handshake finished go out once it has. A failed send is not
    // reported; the read side notices a dead connection.
    void enqueue(std::string text) {
        if (ended_) return;
        outgoing_.push(ws_, std::move(text), this->shared_from_this(), open_);
    }

    BrowserSessionManager& sessions_;
    const std::shared_ptr<asio::ssl::context> tls_;  // declared first: outlives the stream using it
    Stream ws_;
    asio::steady_timer authenticationDeadline_;
    std::shared_ptr<Outbox> outbox_;
    PagePeer peer_;
    http::request<http::empty_body> upgrade_;
    beast::flat_buffer buffer_;
    net::WebSocketWriteQueue outgoing_;
    bool open_ = false;
    bool ended_ = false;
};

}  // namespace

std::shared_ptr<WebSocketConnection> makePlainConnection(tcp::socket socket, BrowserSessionManager& sessions) {
    return std::make_shared<Connection<PlainStream>>(sessions, nullptr, std::move(socket));
}

std::shared_ptr<WebSocketConnection> makeTlsConnection(tcp::socket socket, std::shared_ptr<asio::ssl::context> tls,
                                                       BrowserSessionManager& sessions) {
    asio::ssl::context& context = *tls;
    return std::make_shared<Connection<TlsStream>>(sessions, std::move(tls), std::move(socket), context);
}

}  // namespace velmor::browser
