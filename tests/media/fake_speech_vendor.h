#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmor::test {

// A local HTTP server that stands in for a text-to-speech vendor: it records every
// request and answers each with what the test's responder says, after an optional delay.
// Every connection gets its own thread, so parallel requests really overlap.
class FakeSpeechVendor {
public:
    struct Request {
        std::string method;
        std::string target;                          // path and query
        std::map<std::string, std::string> headers;  // names in lower case
        std::string body;
    };
    struct Reply {
        int status = 200;
        std::string body;
        std::chrono::milliseconds delay{0};
    };
    using Responder = std::function<Reply(const Request&)>;

    explicit FakeSpeechVendor(Responder responder);
    ~FakeSpeechVendor();

    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<Request> requests() const;
    // The most requests that were being answered at the same moment.
    int peakConcurrency() const { return peak_; }

private:
    void acceptLoop();
    void serve(int fd);

    Responder responder_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> inFlight_{0}, peak_{0};
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

}  // namespace velmor::test
