#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace velmor::bridge {

// Reads a text/event-stream body as it arrives, in pieces of any size, and hands on the
// data of each complete event. Only `data` fields matter to the bridge: event names, ids
// and retry hints are skipped, as are events without data (keep-alive comments, the
// stream's opening event).
class EventStream {
public:
    using EventHandler = std::function<void(std::string_view data)>;

    EventStream(std::size_t maxEventBytes, EventHandler onEvent);

    // False once an event grew beyond the limit; the stream is then of no further use.
    bool feed(std::string_view bytes);

private:
    void takeLine(std::string_view line);

    std::size_t maxEventBytes_;
    EventHandler onEvent_;
    std::string line_;
    std::string data_;
    bool hasData_ = false;
    bool afterCarriageReturn_ = false;  // a "\n" right after "\r" ends no second line
};

}  // namespace velmor::bridge
