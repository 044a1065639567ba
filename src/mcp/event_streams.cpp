#include "mcp/event_streams.h"

namespace velmor::mcp {

uint64_t EventStreams::add(Stream stream) {
    return open_.withLocked([&](Open& open) -> uint64_t {
        if (open.closed || open.streams.size() >= maxStreams_) return 0;
        open.streams.emplace(++open.lastNumber, std::move(stream));
        return open.lastNumber;
    });
}

void EventStreams::remove(uint64_t number) {
    open_.withLocked([&](Open& open) { open.streams.erase(number); });
}

// The functions run under the lock: they only post, and holding it keeps close() from
// returning while one is posting.
void EventStreams::broadcast(const std::string& message) {
    open_.withLocked([&](Open& open) {
        if (open.closed) return;
        for (auto& [number, stream] : open.streams) stream.send(message);
    });
}

void EventStreams::endSession(const std::string& session) {
    open_.withLocked([&](Open& open) {
        if (open.closed) return;
        for (auto& [number, stream] : open.streams)
            if (stream.session == session) stream.end();
    });
}

void EventStreams::close() {
    open_.withLocked([](Open& open) {
        open.closed = true;
        open.streams.clear();
    });
}

}  // namespace velmor::mcp
