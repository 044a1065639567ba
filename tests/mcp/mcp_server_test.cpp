#include "mcp/mcp_server.h"
#include "support/free_port.h"

#include <atomic>
#include <cerrno>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <vector>
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
        server = std::make_unique<McpServer>(0, kToken, [this](std::string_view body, const RequestChannel&) -> std::optional<std::string> {
            ++calls;
            if (body == "slow") released.wait();
            if (body == "none") return std::nullopt;
            return "echo:" + std::string(body);
        }, limits);
        ASSERT_TRUE(server->start());
    }
    int connect() { return connectLoopback(server->boundPort()); }
    std::string exchange(const std::string& request) { return test::sendAndReadAll(server->boundPort(), request); }

    std::atomic<int> calls{0};
    std::promise<void> slowRelease;
    std::shared_future<void> released = slowRelease.get_future().share();
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

// Each is refused before the handler sees it: bytes that are not UTF-8 end the connection
// without an answer; headers or a request above the limits are answered 431 and 413.
TEST_F(McpServerOverSockets, UnreadableOrOversizedRequestsNeverReachTheHandler) {
    McpServer::Limits limits;
    limits.maxRequestBytes = 4096;
    limits.maxHeaderBytes = 1024;
    startServer(limits);
    EXPECT_EQ(exchange(post("\xff\xfe")), "");
    std::string answer = exchange("POST /mcp HTTP/1.1\r\nX-Filler: " + std::string(2048, 'a') + "\r\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 431 Request Header Fields Too Large\r\n")) << answer.substr(0, 80);
    answer = exchange(post(std::string(8000, 'x')));
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 413 Payload Too Large\r\n")) << answer;
    EXPECT_TRUE(answer.ends_with(R"({"error":"request too large"})"));
    EXPECT_EQ(calls, 0);
}

TEST_F(McpServerOverSockets, ARequestDribblingInIsClosedAtItsDeadlineWhateverItSends) {
    McpServer::Limits limits;
    limits.requestDeadline = 300ms;
    startServer(limits);
    int fd = connect();
    std::atomic<bool> stop{false};
    // A byte every 20 ms: an idle timer renewed per byte would never fire.
    std::thread dripper([&] {
        std::string request = "POST /mcp HTTP/1.1\r\nX-Slow: " + std::string(10'000, 'a');
        for (size_t i = 0; i < request.size() && !stop; ++i) {
            if (::send(fd, &request[i], 1, MSG_NOSIGNAL) != 1) break;
            std::this_thread::sleep_for(20ms);
        }
    });
    EXPECT_TRUE(test::waitForClose(fd, 10000));
    stop = true;
    dripper.join();
    ::close(fd);
    EXPECT_EQ(calls, 0);
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return -1;
}

TEST_F(McpServerOverSockets, WithoutTheTokenA16MiBBodyIsRefusedBeforeItIsRead) {
    startServer();
    constexpr size_t kBody = 16 * 1024 * 1024;
    constexpr int kClients = 40;
    long before = residentKiB();
    std::vector<int> fds;
    for (int i = 0; i < kClients; ++i) {
        int fd = connect();
        // No body byte is sent: the answer must not wait for one.
        sendAll(fd, "POST /mcp HTTP/1.1\r\nAuthorization: Bearer nope\r\nContent-Length: " + std::to_string(kBody) +
                        "\r\n\r\n");
        fds.push_back(fd);
    }
    for (int fd : fds) {
        std::string answer = readUntilClosed(fd, 10000);
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 401 Unauthorized\r\n")) << answer;
        ::close(fd);
    }
    // A client that pushes its body anyway gets no further than the socket buffers.
    int fd = connect();
    sendAll(fd, "POST /mcp HTTP/1.1\r\nContent-Length: " + std::to_string(kBody) + "\r\n\r\n");
    std::string body(kBody, 'x');
    ssize_t sent = ::send(fd, body.data(), body.size(), MSG_NOSIGNAL);
    EXPECT_LT(sent, static_cast<ssize_t>(kBody));
    ::close(fd);
    EXPECT_EQ(calls, 0);
    EXPECT_LT(residentKiB() - before, 64 * 1024) << "memory grew as if the bodies had been read";
}

TEST_F(McpServerOverSockets, WhenEverySlotIsTakenTheLongestWaitingConnectionMakesRoom) {
    McpServer::Limits limits;
    limits.maxConnections = 4;
    startServer(limits);
    std::vector<int> waiting;
    for (int i = 0; i < 4; ++i) {
        waiting.push_back(connect());
        sendAll(waiting.back(), "POST /mcp HTTP/1.1\r\n");  // and nothing more
    }
    std::string answer = exchange(post("{\"id\":1}"));
    EXPECT_TRUE(answer.ends_with("echo:{\"id\":1}")) << answer;
    EXPECT_TRUE(test::waitForClose(waiting[0], 10000));
    for (int fd : waiting) ::close(fd);
}

// 64 calls that never return (a page tool whose page never answers holds its worker the
// same way) run side by side: the next 64 wait, and the one after them is told the server
// is busy.
TEST_F(McpServerOverSockets, CallsBeyondTheCeilingWaitAndAFullQueueAnswersBusy) {
    startServer();
    constexpr int kCeiling = 64, kQueue = 64;
    std::vector<int> fds;
    for (int i = 0; i < kCeiling; ++i) {
        fds.push_back(connect());
        sendAll(fds.back(), post("slow"));
    }
    while (calls < kCeiling) std::this_thread::sleep_for(1ms);
    // Of the next 65, 64 wait in the queue and one finds it full, whichever comes last.
    std::vector<pollfd> later;
    for (int id = 1; id <= kQueue + 1; ++id) {
        fds.push_back(connect());
        sendAll(fds.back(), post(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":"tools/list"})"));
        later.push_back({fds.back(), POLLIN, 0});
    }
    ASSERT_GE(::poll(later.data(), later.size(), 10000), 1);
    std::vector<size_t> refused;
    for (size_t i = 0; i < later.size(); ++i)
        if (later[i].revents & POLLIN) refused.push_back(i);
    ASSERT_EQ(refused.size(), 1u);
    std::string answer = readUntilClosed(later[refused[0]].fd);
    EXPECT_TRUE(answer.ends_with(R"({"error":{"code":-32000,"message":"Server busy: too many tool calls are )"
                                 R"(running; try again shortly"},"id":)" + std::to_string(refused[0] + 1) +
                                 R"(,"jsonrpc":"2.0"})")) << answer;
    int busyFd = later[refused[0]].fd;
    later[refused[0]].fd = -1;  // read to its end; poll passes over it
    EXPECT_EQ(::poll(later.data(), later.size(), 200), 0) << "the queued calls must wait, not be refused";
    EXPECT_EQ(calls, kCeiling);

    slowRelease.set_value();
    for (int fd : fds) {
        if (fd == busyFd) continue;
        EXPECT_NE(readUntilClosed(fd).find("echo:"), std::string::npos);
    }
    for (int fd : fds) ::close(fd);
    EXPECT_EQ(calls, kCeiling + kQueue);
}

TEST_F(McpServerOverSockets, APortInUseFailsToStartAndTheProcessGoesOn) {
    startServer();
    McpServer second(server->boundPort(), kToken, [](std::string_view, const RequestChannel&) { return std::string("x"); });
    EXPECT_FALSE(second.start());
    EXPECT_TRUE(exchange(post("still")).ends_with("echo:still"));
}

}  // namespace
}  // namespace velmor::mcp
