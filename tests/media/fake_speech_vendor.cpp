#include "fake_speech_vendor.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "support/free_port.h"

namespace velmor::test {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 401: return "Unauthorized";
        case 404: return "Not Found";
        default: return "Status";
    }
}

}  // namespace

FakeSpeechVendor::FakeSpeechVendor(Responder responder) : responder_(std::move(responder)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 64);
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

FakeSpeechVendor::~FakeSpeechVendor() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    close(listener_);
    std::lock_guard lock(mutex_);
    for (auto& connection : connections_) connection.join();
}

std::vector<FakeSpeechVendor::Request> FakeSpeechVendor::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void FakeSpeechVendor::acceptLoop() {
    while (!stopping_) {
        pollfd ready{listener_, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, fd] { serve(fd); });
    }
}

void FakeSpeechVendor::serve(int fd) {
    std::string data;
    char buffer[65536];
    size_t headerEnd = std::string::npos;
    size_t contentLength = 0;
    while (true) {
        if (headerEnd == std::string::npos) {
            headerEnd = data.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                auto at = lower(data.substr(0, headerEnd)).find("content-length:");
                if (at != std::string::npos) contentLength = std::stoul(data.substr(at + 15));
            }
        }
        if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + contentLength) break;
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 5000) <= 0) break;
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        data.append(buffer, n);
    }
    if (headerEnd == std::string::npos) {
        close(fd);
        return;
    }
    Request request;
    std::istringstream head(data.substr(0, headerEnd));
    std::string line, version;
    std::getline(head, line);
    std::istringstream(line) >> request.method >> request.target >> version;
    while (std::getline(head, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        request.headers[lower(line.substr(0, colon))] = value;
    }
    request.body = data.substr(headerEnd + 4, contentLength);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    int now = ++inFlight_;
    for (int peak = peak_; now > peak && !peak_.compare_exchange_weak(peak, now);) {
    }
    Reply reply = responder_(request);
    std::this_thread::sleep_for(reply.delay);
    --inFlight_;
    std::string answer = "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) +
                         "\r\nContent-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n" +
                         reply.body;
    sendAll(fd, answer);
    close(fd);
}

}  // namespace velmor::test
