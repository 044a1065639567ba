#include "support/http_responses.h"

#include <algorithm>
#include <cctype>
#include <poll.h>
#include <sys/socket.h>
#include <utility>

namespace velmor::test {

bool HttpResponses::fill(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char chunk[65536];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
}

std::string HttpResponses::pendingBytes(int timeoutMs) {
    if (buffer_.empty()) fill(timeoutMs);
    return std::exchange(buffer_, {});
}

bool HttpResponses::chunkedBody(HttpResponse& response, size_t& at, int timeoutMs) {
    for (;;) {
        size_t lineEnd;
        while ((lineEnd = buffer_.find("\r\n", at)) == std::string::npos)
            if (!fill(timeoutMs)) return false;
        size_t size = std::stoul(buffer_.substr(at, lineEnd - at), nullptr, 16);
        while (buffer_.size() < lineEnd + 2 + size + 2)
            if (!fill(timeoutMs)) return false;
        response.body += buffer_.substr(lineEnd + 2, size);
        at = lineEnd + 2 + size + 2;
        if (size == 0) return true;
    }
}

HttpResponse HttpResponses::next(int timeoutMs) {
    HttpResponse response;
    size_t headEnd;
    while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos)
        if (!fill(timeoutMs)) return {};
    std::string head = buffer_.substr(0, headEnd);
    response.status = std::stoi(head.substr(9, 3));
    for (size_t line = head.find("\r\n"); line != std::string::npos;) {
        size_t end = head.find("\r\n", line + 2);
        std::string field = head.substr(line + 2, end == std::string::npos ? std::string::npos : end - line - 2);
        line = end;
        size_t colon = field.find(':');
        if (colon == std::string::npos) continue;
        std::string name = field.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        size_t value = field.find_first_not_of(' ', colon + 1);
        response.headers[name] = value == std::string::npos ? "" : field.substr(value);
    }
    size_t at = headEnd + 4;
    if (response.headers["transfer-encoding"] == "chunked") {
        response.chunked = true;
        if (!chunkedBody(response, at, timeoutMs)) return {};
    } else if (response.headers.contains("content-length")) {
        size_t length = std::stoul(response.headers["content-length"]);
        while (buffer_.size() < at + length)
            if (!fill(timeoutMs)) return {};
        response.body = buffer_.substr(at, length);
        at += length;
    } else {
        while (fill(timeoutMs)) {
        }
        response.body = buffer_.substr(at);
        at = buffer_.size();
    }
    buffer_.erase(0, at);
    return response;
}

}  // namespace velmor::test
