#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmor::bridge::test {

// A keep-alive HTTP/1.1 endpoint on a free loopback port whose answers the test writes
// byte for byte: it stands in for an application that issues MCP sessions and answers
// with event streams, which the McpServer of this tree does not do.
class ScriptedEndpoint {
public:
    struct Request {
        int connection = 0;                          // which connection it came on, from 1
        std::map<std::string, std::string> headers;  // names in lower case
        std::string body;
    };
    // The raw bytes of the answer, written piece by piece so that an event stream arrives
    // in parts. No pieces: the connection is closed without an answer.
    using Responder = std::function<std::vector<std::string>(const Request&)>;

    explicit ScriptedEndpoint(Responder responder);
    ~ScriptedEndpoint();

    std::uint16_t port() const { return port_; }
    std::vector<Request> requests();

    // "HTTP/1.1 <status>" with the headers, a Content-Length and the body.
    static std::string answer(int status, const std::string& body, const std::string& extraHeaders = "");

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::uint16_t port_ = 0;
};

}  // namespace velmor::bridge::test
