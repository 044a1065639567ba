#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmor::bridge::test {

struct RecordedRequest {
    std::string method;
    std::string target;
    std::string contentType;
    std::string authorization;
    std::string body;
};

struct CannedAnswer {
    unsigned status = 200;
    std::string body;
    // Held back this long before answering, to show what the bridge does meanwhile.
    std::chrono::milliseconds delay{0};
    // Never answered while the endpoint lives.
    bool withhold = false;
};

// Stands in for the application's MCP endpoint on a loopback port: records each request,
// answers it as the test's responder says, one connection per request, and closes the
// connection after the answer as the application does.
class FakeMcpEndpoint {
public:
    using Responder = std::function<CannedAnswer(const RecordedRequest&)>;

    explicit FakeMcpEndpoint(Responder responder);
    ~FakeMcpEndpoint();
    FakeMcpEndpoint(const FakeMcpEndpoint&) = delete;
    FakeMcpEndpoint& operator=(const FakeMcpEndpoint&) = delete;

    std::uint16_t port() const { return port_; }
    bool waitForRequests(std::size_t count, int timeoutMs = 10000);
    std::vector<RecordedRequest> requests();
    // "request <body>" when a request has arrived and "answer <body>" just before its
    // answer goes out, in the order they happened.
    std::vector<std::string> events();

private:
    void acceptLoop();
    void serve(int fd);
    void record(std::string event);

    Responder responder_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    std::vector<std::thread> connections_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::string> events_;
    bool stopping_ = false;
};

}  // namespace velmor::bridge::test
