#include "mcp/request_reader.h"

#include "base/text.h"
#include "base/utf8.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace velmor::mcp {

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";

}  // namespace

std::optional<long long> announcedContentLength(const std::string& lowerCaseHeaders) {
    static constexpr std::string_view kName = "content-length:";
    auto at = lowerCaseHeaders.find(kName);
    if (at == std::string::npos) return std::nullopt;
    std::string_view value(lowerCaseHeaders);
    value.remove_prefix(at + kName.size());
    value = value.substr(0, value.find("\r\n"));
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (!value.empty() && value.front() == '+') value.remove_prefix(1);
    long long length = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (value.empty() || error != std::errc() || end != value.data() + value.size()) return 0;
    return length;
}

RequestReader::RequestReader(size_t maxBytes, size_t maxHeaderBytes)
    : maxBytes_(maxBytes), maxHeaderBytes_(maxHeaderBytes) {}

std::string_view RequestReader::headerBlock() const {
    if (headerEnd_ == std::string::npos) return {};
    return std::string_view(buffer_).substr(0, headerEnd_);
}

RequestReader::State RequestReader::append(const char* data, size_t size) {
    if (buffer_.size() + size > maxBytes_) return State::TooLarge;
    buffer_.append(data, size);
    return evaluate();
}

RequestReader::State RequestReader::evaluate() {
    Utf8Scan scan = scanUtf8(buffer_, checkedUtf8_);
    if (scan.invalid) return State::NotUtf8;
    checkedUtf8_ = scan.validUpTo;

    if (headerEnd_ == std::string::npos) {
        // Only the new bytes need searching, plus three before them in case the separator
        // straddles two reads.
        headerEnd_ = buffer_.find(kHeaderEnd, searchedUpTo_ >= 3 ? searchedUpTo_ - 3 : 0);
        searchedUpTo_ = buffer_.size();
        if (headerEnd_ == std::string::npos)
            return buffer_.size() > maxHeaderBytes_ + kHeaderEnd.size() ? State::HeadersTooLarge : State::NeedMore;
        if (headerEnd_ > maxHeaderBytes_) return State::HeadersTooLarge;
        contentLength_ = announcedContentLength(lowerAscii(headerBlock()));
        return State::HeadersComplete;
    }
    return bodyStarted_ ? evaluateBody() : State::NeedMore;
}

RequestReader::State RequestReader::continueWithBody() {
    bodyStarted_ = true;
    if (contentLength_ && *contentLength_ > 0 && static_cast<unsigned long long>(*contentLength_) > maxBytes_)
        return State::TooLarge;
    return evaluateBody();
}

RequestReader::State RequestReader::evaluateBody() {
    long long bodyLength = static_cast<long long>(buffer_.size() - headerEnd_ - kHeaderEnd.size());
    if (contentLength_ && bodyLength < *contentLength_) return State::NeedMore;
    // Complete by length: an unfinished character at the very end can no longer complete.
    return checkedUtf8_ < buffer_.size() ? State::NotUtf8 : State::Complete;
}

}  // namespace velmor::mcp
