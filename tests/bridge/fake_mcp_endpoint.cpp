#include "bridge/fake_mcp_endpoint.h"

#include "support/free_port.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <netinet/in.h>
#include <optional>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace velmor::bridge::test {

namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string headerValue(const std::string& head, const std::string& name) {
    std::string lowerHead = lowercase(head);
    auto at = lowerHead.find("\r\n" + name + ":");
    if (at == std::string::npos) return {};
    auto start = at + name.size() + 3;
    auto end = head.find("\r\n", start);
    std::string value = head.substr(start, end - start);
    value.erase(0, value.find_first_not_of(' '));
    return value;
}

// Reads one request: head up to the blank line, then Content-Length bytes of body.
std::optional<RecordedRequest> readRequest(int fd) {
    std::string received;
    char buffer[4096];
    std::size_t headEnd;
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return std::nullopt;
        received.append(buffer, static_cast<std::size_t>(n));
    }
    std::string head = received.substr(0, headEnd);
    std::string body = received.substr(headEnd + 4);
    std::size_t length = std::stoul("0" + headerValue(head, "content-length"));
    while (body.size() < length) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return std::nullopt;
        body.append(buffer, static_cast<std::size_t>(n));
    }
    RecordedRequest request;
    auto firstSpace = head.find(' ');
    auto secondSpace = head.find(' ', firstSpace + 1);
    request.method = head.substr(0, firstSpace);
    request.target = head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    request.contentType = headerValue(head, "content-type");
    request.authorization = headerValue(head, "authorization");
    request.body = body;
    return request;
}

}  // namespace

FakeMcpEndpoint::FakeMcpEndpoint(Responder responder) : responder_(std::move(responder)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on loopback");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

FakeMcpEndpoint::~FakeMcpEndpoint() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    for (auto& connection : connections_) connection.join();
}

void FakeMcpEndpoint::acceptLoop() {
    for (;;) {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        connections_.emplace_back([this, fd] { serve(fd); });
    }
}

void FakeMcpEndpoint::serve(int fd) {
    if (auto request = readRequest(fd)) {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(*request);
        }
        record("request " + request->body);
        CannedAnswer answer = responder_(*request);
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, answer.delay, [this] { return stopping_; });
        if (answer.withhold) changed_.wait(lock, [this] { return stopping_; });
        if (!stopping_) {
            events_.push_back("answer " + answer.body);
            lock.unlock();
            std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " Canned\r\n";
            if (answer.status != 204) head += "Content-Type: application/json\r\nContent-Length: " + std::to_string(answer.body.size()) + "\r\n";
            velmor::test::sendAll(fd, head + "Connection: close\r\n\r\n" + answer.body);
        }
    }
    ::close(fd);
}

void FakeMcpEndpoint::record(std::string event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    changed_.notify_all();
}

bool FakeMcpEndpoint::waitForRequests(std::size_t count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return requests_.size() >= count; });
}

std::vector<RecordedRequest> FakeMcpEndpoint::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> FakeMcpEndpoint::events() {
    std::lock_guard lock(mutex_);
    return events_;
}

}  // namespace velmor::bridge::test
