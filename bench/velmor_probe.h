#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace velmor::bench {

// A POST of `body` to /mcp with the bearer token, as an MCP client sends it.
std::string mcpRequest(const std::string& token, const std::string& body);
// One request on its own connection to 127.0.0.1:`port`; whether a complete 200 answer came.
// Reads the answer by its Content-Length and closes, as an HTTP client does.
bool answeredOverHttp(uint16_t port, const std::string& request);

// One client connection kept open for request after request, as HTTP/1.1 clients keep them.
class KeptConnection {
public:
    explicit KeptConnection(uint16_t port);
    ~KeptConnection();
    KeptConnection(const KeptConnection&) = delete;
    KeptConnection& operator=(const KeptConnection&) = delete;
    // Whether a complete 200 answer came on the connection (it reconnects after a failure).
    bool answered(const std::string& request);

private:
    uint16_t port_;
    int fd_ = -1;
    std::string pending_;
};
// The process's resident memory (VmRSS) in kilobytes; -1 when it cannot be read.
long residentKilobytes(pid_t pid);

}  // namespace velmor::bench
