#pragma once

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/error.hpp>

#include <deque>
#include <memory>
#include <string>

namespace velmor::net {

// Beast allows one write at a time on a WebSocket stream: messages wait here and go out one
// after another, each as one text message, in the order they were queued. Used only on the
// stream's executor. When a write fails the connection is going down: what still waits is
// dropped, and the owner's pending read reports the end.
class WebSocketWriteQueue {
public:
    // Queues `text`. It goes out at once when nothing else is being written and the owner
    // `canWrite`, else after the others or at the next flush().
    template <class Stream>
    void push(Stream& ws, std::string text, std::shared_ptr<void> owner, bool canWrite = true) {
        waiting_.push_back(std::move(text));
        if (canWrite) flush(ws, std::move(owner));
    }

    // Starts writing what waits (a connection that just opened). `owner` is kept alive by
    // every write in flight, so the stream outlives it.
    template <class Stream>
    void flush(Stream& ws, std::shared_ptr<void> owner) {
        if (writing_ || waiting_.empty()) return;
        writing_ = true;
        ws.text(true);
        ws.async_write(boost::asio::buffer(waiting_.front()),
                       [this, &ws, owner](boost::beast::error_code error, std::size_t) {
                           writing_ = false;
                           waiting_.pop_front();
                           if (error) waiting_.clear();
                           flush(ws, owner);
                       });
    }

private:
    std::deque<std::string> waiting_;
    bool writing_ = false;
};

}  // namespace velmor::net
