#include "mcp/request_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace velmor::mcp {

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

// Length of the UTF-8 sequence that starts with `lead`, or 0 when `lead` cannot start one.
int sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool validContinuation(unsigned char lead, size_t index, unsigned char c) {
    if ((c & 0xC0) != 0x80) return false;
    if (index != 1) return true;
    // Second byte ranges that rule out overlong forms, surrogates and code points past U+10FFFF.
    if (lead == 0xE0) return c >= 0xA0;
    if (lead == 0xED) return c <= 0x9F;
    if (lead == 0xF0) return c >= 0x90;
    if (lead == 0xF4) return c <= 0x8F;
    return true;
}

}  // namespace

Utf8Scan scanUtf8(const std::string& text, size_t from) {
    size_t i = from;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        int length = sequenceLength(lead);
        if (length == 0) return {i, true};
        if (length == 1) {
            ++i;
            continue;
        }
        for (int k = 1; k < length; ++k) {
            if (i + k >= text.size()) return {i, false};  // unfinished, may complete later
            if (!validContinuation(lead, static_cast<size_t>(k), static_cast<unsigned char>(text[i + k])))
                return {i, true};
        }
        i += static_cast<size_t>(length);
    }
    return {i, false};
}

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
        contentLength_ = announcedContentLength(lowerCase(headerBlock()));
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
