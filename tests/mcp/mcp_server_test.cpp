#include "mcp/mcp_server.h"
#include "support/free_port.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace velmor::mcp {
namespace {

using namespace std::chrono_literals;
using test::connectLoopback;
using test::readUntilClosed;
using test::sendAll;

constexpr const char* kToken = "feedfacefeedfacefeedfacefeedface";

std::string post(const std::string& body) {
    return std::string("POST /mcp HTTP/1.1\r\nAuthorization: Bearer ") + kToken +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class McpServerOverSockets : public ::testing::Test {
protected:
    void startServer(McpServer::Limits limits = {}) {
        server = std::make_unique<McpServer>(0, kToken, [this](std::string_view body) -> std::optional<std::string> {
            ++calls;
            if (body == "slow") slowRelease.get_future().wait();
            if (body == "none") return std::nullopt;
            return "echo:" + std::string(body);
        }, limits);
        ASSERT_TRUE(server->start());
    }
    int connect() { return connectLoopback(server->boundPort()); }

    std::atomic<int> calls{0};
    std::promise<void> slowRelease;
    std::unique_ptr<McpServer> server;
};

TEST_F(McpServerOverSockets, ABodyArrivingAfterTheHeadersIsAnsweredOnceComplete) {
    startServer();
    int fd = connect();
    std::string request = post("{\"id\":1}");
    auto split = request.find("\r\n\r\n") + 4;
    sendAll(fd, request.substr(0, split));
    std::this_thread::sleep_for(50ms);
    sendAll(fd, request.substr(split, 3));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(calls, 0);
    sendAll(fd, request.substr(split + 3));
    std::string answer = readUntilClosed(fd);
    ::close(fd);
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer;
    EXPECT_TRUE(answer.ends_with("\r\n\r\necho:{\"id\":1}")) << answer;
}

TEST_F(McpServerOverSockets, OneRequestPerConnectionThenTheConnectionCloses) {
    startServer();
    int fd = connect();
    sendAll(fd, post("first") + post("second"));
    auto sent = std::chrono::steady_clock::now();
    std::string answer = readUntilClosed(fd, 3000);
    auto closedAfter = std::chrono::steady_clock::now() - sent;
    ::close(fd);
    // The bytes after the first request's body belong to it, as the body outran its length.
    EXPECT_TRUE(answer.ends_with("second")) << answer;
    EXPECT_EQ(answer.find("HTTP/1.1 200", 1), std::string::npos) << "exactly one answer";
    EXPECT_EQ(calls, 1);
    EXPECT_LT(closedAfter, 3s);
}

TEST_F(McpServerOverSockets, PreflightGetsTheFixedAnswerAndTheConnectionCloses) {
    startServer();
    int fd = connect();
    sendAll(fd, "OPTIONS /whatever HTTP/1.1\r\nOrigin: http://x\r\n\r\n");
    std::string answer = readUntilClosed(fd, 3000);
    ::close(fd);
    EXPECT_EQ(answer.size(), 174u);
    EXPECT_EQ(answer, kPreflightAnswer);
}

TEST_F(McpServerOverSockets, NotificationsAreAnswered204WithZeroLength) {
    startServer();
    int fd = connect();
    sendAll(fd, post("none"));
    std::string answer = readUntilClosed(fd);
    ::close(fd);
    EXPECT_EQ(answer, "HTTP/1.1 204 No Content\r\nContent-Type: application/json\r\nAccess-Control-Allow-Origin: *\r\n"
                      "Content-Length: 0\r\n\r\n");
}

TEST_F(McpServerOverSockets, BytesThatAreNotUtf8CloseTheConnectionWithoutAnswer) {
    startServer();
    int fd = connect();
    sendAll(fd, post("\xff\xfe"));
    EXPECT_EQ(readUntilClosed(fd), "");
    ::close(fd);
    EXPECT_EQ(calls, 0);
}

TEST_F(McpServerOverSockets, OversizedRequestsAreRefusedWith413) {
    McpServer::Limits limits;
    limits.maxRequestBytes = 4096;
    startServer(limits);
    int fd = connect();
    sendAll(fd, post(std::string(8000, 'x')));
    std::string answer = readUntilClosed(fd);
    ::close(fd);
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 413 Payload Too Large\r\n")) << answer;
    EXPECT_TRUE(answer.ends_with(R"({"error":"request too large"})"));
    EXPECT_EQ(calls, 0);
}

TEST_F(McpServerOverSockets, ASilentConnectionIsClosed) {
    McpServer::Limits limits;
    limits.idleTimeout = 200ms;
    startServer(limits);
    int fd = connect();
    sendAll(fd, "POST /mcp HTTP/1.1\r\n");
    EXPECT_TRUE(test::waitForClose(fd, 5000));
    ::close(fd);
    EXPECT_EQ(calls, 0);
}

TEST_F(McpServerOverSockets, ALongToolCallDoesNotHoldUpOtherConnections) {
    startServer();
    int slow = connect();
    sendAll(slow, post("slow"));
    while (calls == 0) std::this_thread::sleep_for(1ms);

    for (int i = 0; i < 5; ++i) {
        std::string answer = test::sendAndReadAll(server->boundPort(), post("quick" + std::to_string(i)));
        EXPECT_TRUE(answer.ends_with("echo:quick" + std::to_string(i))) << answer;
    }
    slowRelease.set_value();
    EXPECT_TRUE(readUntilClosed(slow).ends_with("echo:slow"));
    ::close(slow);
}

TEST_F(McpServerOverSockets, APortInUseFailsToStartAndTheProcessGoesOn) {
    startServer();
    McpServer second(server->boundPort(), kToken, [](std::string_view) { return std::string("x"); });
    EXPECT_FALSE(second.start());
    EXPECT_TRUE(test::sendAndReadAll(server->boundPort(), post("still")).ends_with("echo:still"));
}

}  // namespace
}  // namespace velmor::mcp
