#pragma once

#include <map>
#include <string>

namespace velmor::test {

// One HTTP response as read off a socket; status 0 when none came whole.
struct HttpResponse {
    int status = 0;
    std::map<std::string, std::string> headers;  // names lower-cased; the last of a repeated one
    std::string body;                             // chunked coding removed
    bool chunked = false;
};

// Reads the responses on one client socket in turn, keeping what arrived beyond each one
// for the next: the way to check answers to pipelined or kept-alive requests.
class HttpResponses {
public:
    explicit HttpResponses(int fd) : fd_(fd) {}

    // The next whole response, within `timeoutMs`.
    HttpResponse next(int timeoutMs = 10000);
    // The bytes received and not yet taken by next(), after waiting up to `timeoutMs` for some.
    std::string pendingBytes(int timeoutMs);

private:
    bool fill(int timeoutMs);  // false when the peer closed or the time is up
    bool chunkedBody(HttpResponse& response, size_t& at, int timeoutMs);

    int fd_;
    std::string buffer_;
};

}  // namespace velmor::test
