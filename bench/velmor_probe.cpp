#include "velmor_probe.h"

#include "support/free_port.h"
#include "support/http_responses.h"

#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmor::bench {

std::string mcpRequest(const std::string& token, const std::string& body) {
    return "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
           "Authorization: Bearer " + token + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

bool answeredOverHttp(uint16_t port, const std::string& request) {
    int fd = test::connectLoopback(port);
    if (fd < 0) return false;
    test::sendAll(fd, request);
    std::string answer;
    char buffer[65536];
    size_t expected = std::string::npos;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) break;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        answer.append(buffer, static_cast<size_t>(n));
        auto head = answer.find("\r\n\r\n");
        if (head != std::string::npos && expected == std::string::npos) {
            auto at = answer.find("Content-Length: ");
            expected = head + 4 + std::stoul(answer.substr(at + 16));
        }
        if (answer.size() >= expected) break;
    }
    ::close(fd);
    return answer.starts_with("HTTP/1.1 200") && answer.size() == expected;
}

KeptConnection::KeptConnection(uint16_t port) : port_(port) {}

KeptConnection::~KeptConnection() {
    if (fd_ >= 0) ::close(fd_);
}

bool KeptConnection::answered(const std::string& request) {
    if (fd_ < 0) fd_ = test::connectLoopback(port_);
    if (fd_ < 0) return false;
    test::sendAll(fd_, request);
    test::HttpResponse response = test::HttpResponses(fd_).next(5000);
    bool ok = response.status == 200 && !response.body.empty();
    if (!ok || response.headers["connection"] == "close") {
        ::close(fd_);
        fd_ = -1;
    }
    return ok;
}

long residentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return -1;
}

}  // namespace velmor::bench
