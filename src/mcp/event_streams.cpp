#include "mcp/event_streams.h"

namespace velmor::mcp {

uint64_t EventStreams::add(Stream stream) {
    std::lock_guard lock(mutex_);
    if (closed_ || streams_.size() >= maxStreams_) return 0;
    streams_.emplace(++lastNumber_, std::move(stream));
    return lastNumber_;
}

void EventStreams::remove(uint64_t number) {
    std::lock_guard lock(mutex_);
    streams_.erase(number);
}

// The functions run under the lock: they only post, and holding it keeps close() from
// returning while one is posting.
void EventStreams::broadcast(const std::string& message) {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    for (auto& [number, stream] : streams_) stream.send(message);
}

void EventStreams::endSession(const std::string& session) {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    for (auto& [number, stream] : streams_)
        if (stream.session == session) stream.end();
}

void EventStreams::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    streams_.clear();
}

}  // namespace velmor::mcp
