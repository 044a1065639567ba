#pragma once

#include "mcp/mcp_server.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmor::bridge::test {

// What the endpoint does with one request body: answers `body` after `delay` (nothing is
// HTTP 202, the answer to a notification), or holds the request unanswered while it lives.
struct CannedAnswer {
    std::optional<std::string> body;
    std::chrono::milliseconds delay{0};
    bool withhold = false;
};

// The application's real MCP endpoint on a free loopback port, answering each request's
// body as the test's responder says. Records "request <body>" as a request arrives and
// "answer <body>" just before its answer goes out, in the order they happened.
class RecordingEndpoint {
public:
    using Responder = std::function<CannedAnswer(const std::string& body)>;

    explicit RecordingEndpoint(Responder responder, const std::string& token = "t")
        : responder_(std::move(responder)),
          server_(0, token,
                  [this](std::string_view body, const mcp::RequestChannel&) { return answer(std::string(body)); }) {
        EXPECT_TRUE(server_.start());
    }
    ~RecordingEndpoint() {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }

    std::uint16_t port() const { return server_.boundPort(); }
    bool waitForRequests(std::size_t count, int timeoutMs = 10000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return requests_ >= count; });
    }
    std::vector<std::string> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    std::optional<std::string> answer(const std::string& body) {
        CannedAnswer canned = responder_(body);
        std::unique_lock lock(mutex_);
        events_.push_back("request " + body);
        ++requests_;
        changed_.notify_all();
        changed_.wait_for(lock, canned.delay, [this] { return stopping_; });
        if (canned.withhold) changed_.wait(lock, [this] { return stopping_; });
        if (stopping_) return std::nullopt;
        events_.push_back("answer " + canned.body.value_or(""));
        return canned.body;
    }

    Responder responder_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::size_t requests_ = 0;
    bool stopping_ = false;
    mcp::McpServer server_;  // last, so it is stopped first, while what its calls use remains
};

}  // namespace velmor::bridge::test
