#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::mcp {

// The header block of a request (everything before the blank line) may be this long.
inline constexpr size_t kMaxHeaderBytes = 16 * 1024;

// Accumulates the bytes of one HTTP request until it is complete: the header block has
// ended and the body has reached the announced Content-Length (or no length was
// announced). Nothing else of HTTP is parsed; the router looks at the text itself.
//
// The reader stops once at the end of the header block (HeadersComplete), so that the
// caller can refuse the request before a byte of its body is kept; continueWithBody()
// then goes on.
class RequestReader {
public:
    enum class State { NeedMore, HeadersComplete, Complete, NotUtf8, TooLarge, HeadersTooLarge };

    explicit RequestReader(size_t maxBytes, size_t maxHeaderBytes = kMaxHeaderBytes);

    State append(const char* data, size_t size);
    // After HeadersComplete: the state of the body with the bytes already in hand.
    State continueWithBody();
    const std::string& request() const { return buffer_; }
    // The header block, without the blank line that ends it; empty until it is complete.
    std::string_view headerBlock() const;

private:
    State evaluate();
    State evaluateBody();

    size_t maxBytes_;
    size_t maxHeaderBytes_;
    bool bodyStarted_ = false;
    std::string buffer_;
    size_t checkedUtf8_ = 0;  // length of the prefix known to be whole, valid UTF-8
    size_t searchedUpTo_ = 0;  // bytes already searched for the end of the headers
    size_t headerEnd_ = std::string::npos;
    std::optional<long long> contentLength_;
};

// The value of the first "content-length:" in a lower-cased header block; a value that is
// not a decimal integer counts as 0; nothing when the block has no such header.
std::optional<long long> announcedContentLength(const std::string& lowerCaseHeaders);

}  // namespace velmor::mcp
