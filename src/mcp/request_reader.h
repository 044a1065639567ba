#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace velmor::mcp {

// Accumulates the bytes of one HTTP request until it is complete: the header block has
// ended and the body has reached the announced Content-Length (or no length was
// announced). Nothing else of HTTP is parsed; the router looks at the text itself.
class RequestReader {
public:
    enum class State { NeedMore, Complete, NotUtf8, TooLarge };

    explicit RequestReader(size_t maxBytes);

    State append(const char* data, size_t size);
    const std::string& request() const { return buffer_; }

private:
    State evaluate();

    size_t maxBytes_;
    std::string buffer_;
    size_t checkedUtf8_ = 0;  // length of the prefix known to be whole, valid UTF-8
    size_t searchedUpTo_ = 0;  // bytes already searched for the end of the headers
    size_t headerEnd_ = std::string::npos;
    std::optional<long long> contentLength_;
};

// The value of the first "content-length:" in a lower-cased header block; a value that is
// not a decimal integer counts as 0; nothing when the block has no such header.
std::optional<long long> announcedContentLength(const std::string& lowerCaseHeaders);

// How far `text` from `from` on is valid UTF-8: the end of the last complete character,
// and whether an invalid sequence (not just an unfinished one at the end) was met.
struct Utf8Scan {
    size_t validUpTo;
    bool invalid;
};
Utf8Scan scanUtf8(const std::string& text, size_t from);

}  // namespace velmor::mcp
