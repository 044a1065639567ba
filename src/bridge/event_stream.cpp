#include "bridge/event_stream.h"

namespace velmor::bridge {

EventStream::EventStream(std::size_t maxEventBytes, EventHandler onEvent)
    : maxEventBytes_(maxEventBytes), onEvent_(std::move(onEvent)) {}

bool EventStream::feed(std::string_view bytes) {
    for (char c : bytes) {
        if (c == '\n' && afterCarriageReturn_) {
            afterCarriageReturn_ = false;
            continue;
        }
        afterCarriageReturn_ = c == '\r';
        if (c == '\n' || c == '\r') {
            takeLine(line_);
            line_.clear();
            continue;
        }
        if (line_.size() + data_.size() >= maxEventBytes_) return false;
        line_.push_back(c);
    }
    return true;
}

void EventStream::takeLine(std::string_view line) {
    if (line.empty()) {
        if (hasData_) onEvent_(data_);
        data_.clear();
        hasData_ = false;
        return;
    }
    auto colon = line.find(':');
    std::string_view field = line.substr(0, colon);
    if (field != "data") return;
    std::string_view value = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
    if (value.starts_with(' ')) value.remove_prefix(1);
    if (hasData_) data_ += '\n';
    data_ += value;
    hasData_ = true;
}

}  // namespace velmor::bridge
