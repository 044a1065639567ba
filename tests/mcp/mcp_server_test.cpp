#include "mcp/mcp_server.h"
#include "support/free_port.h"
#include "support/http_responses.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
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

// A request that closes its connection once answered, unless `headers` says otherwise.
std::string post(const std::string& body, const std::string& headers = "Connection: close\r\n") {
    return std::string("POST /mcp HTTP/1.1\r\nAuthorization: Bearer ") + kToken + "\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string keptPost(const std::string& body, const std::string& headers = "") { return post(body, headers); }

class McpServerOverSockets : public ::testing::Test {
protected:
    // The handler echoes the body; "slow" waits for the test's word, "none" needs no answer,
    // a body naming "notify" sends two notifications first where the transport carries them.
    void startServer(McpServer::Limits limits = {}) {
        server = std::make_unique<McpServer>(
            0, kToken,
            [this](std::string_view body, const RequestChannel& channel) -> std::optional<std::string> {
                ++calls;
                {
                    std::lock_guard lock(seenMutex);
                    seenSessions.push_back(channel.session);
                    lastBody = body;
                }
                if (body == "slow") released.wait();
                if (body == "none" || body == "\"none\"") return std::nullopt;  // also as a batch element
                if (body.find("notify") != std::string_view::npos && channel.notify) {
                    channel.notify("note 0");
                    channel.notify("note 1");
                }
                return "echo:" + std::string(body);
            },
            limits);
        ASSERT_TRUE(server->start());
    }
    int connect() { return connectLoopback(server->boundPort()); }
    std::string exchange(const std::string& request) { return test::sendAndReadAll(server->boundPort(), request); }

    std::atomic<int> calls{0};
    std::mutex seenMutex;
    std::vector<std::string> seenSessions;
    std::string lastBody;
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

// One connection carries many requests: pipelined ones are answered in order, a
// notification 202 with no body, a chunked body decoded; "Connection: close" and HTTP/1.0
// end it after their answer, and a kept connection left idle is closed.
TEST_F(McpServerOverSockets, KeptConnectionsAnswerPipelinedRequestsInOrderUntilCloseIsAsked) {
    McpServer::Limits limits;
    limits.idleTimeout = 300ms;
    startServer(limits);
    int fd = connect();
    test::HttpResponses responses(fd);
    sendAll(fd, keptPost("first") + keptPost("none") + keptPost("third") +
                    std::string("POST /mcp HTTP/1.1\r\nAuthorization: Bearer ") + kToken +
                    "\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nchun\r\n7\r\nked bod\r\n1\r\ny\r\n0\r\n\r\n");
    test::HttpResponse first = responses.next();
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(first.body, "echo:first");
    EXPECT_FALSE(first.headers.contains("connection"));
    test::HttpResponse accepted = responses.next();
    EXPECT_EQ(accepted.status, 202);
    EXPECT_EQ(accepted.body, "");
    EXPECT_FALSE(accepted.headers.contains("content-type"));
    EXPECT_EQ(responses.next().body, "echo:third");
    EXPECT_EQ(responses.next().body, "echo:chunked body");
    sendAll(fd, post("last"));
    test::HttpResponse last = responses.next();
    EXPECT_EQ(last.body, "echo:last");
    EXPECT_EQ(last.headers["connection"], "close");
    EXPECT_TRUE(test::waitForClose(fd, 10000));
    ::close(fd);
    EXPECT_EQ(calls, 5);

    std::string old = exchange(std::string("POST /mcp HTTP/1.0\r\nAuthorization: Bearer ") + kToken +
                               "\r\nContent-Length: 3\r\n\r\nold");
    EXPECT_TRUE(old.ends_with("echo:old")) << old;
    EXPECT_NE(old.find("Connection: close\r\n"), std::string::npos);

    int idle = connect();
    test::HttpResponses idleResponses(idle);
    sendAll(idle, keptPost("once"));
    EXPECT_EQ(idleResponses.next().body, "echo:once");
    EXPECT_TRUE(test::waitForClose(idle, 10000));
    ::close(idle);
}

// Each is refused before the handler sees it, and the connection then ends, as the body
// was not read: headers or a body above the limits (announced, or chunked beyond them),
// and a request HTTP cannot parse.
TEST_F(McpServerOverSockets, MalformedOrOversizedRequestsNeverReachTheHandler) {
    McpServer::Limits limits;
    limits.maxRequestBytes = 4096;
    limits.maxHeaderBytes = 1024;
    startServer(limits);
    std::string answer = exchange("POST /mcp HTTP/1.1\r\nX-Filler: " + std::string(2048, 'a') + "\r\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 431 Request Header Fields Too Large\r\n")) << answer.substr(0, 80);
    answer = exchange(post(std::string(8000, 'x'), ""));
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 413 Payload Too Large\r\n")) << answer;
    EXPECT_TRUE(answer.ends_with(R"({"error":"request too large"})"));
    EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
    std::string chunks;
    for (int i = 0; i < 10; ++i) chunks += "3e8\r\n" + std::string(1000, 'c') + "\r\n";
    answer = exchange(std::string("POST /mcp HTTP/1.1\r\nAuthorization: Bearer ") + kToken +
                      "\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks + "0\r\n\r\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 413 Payload Too Large\r\n")) << answer.substr(0, 80);
    answer = exchange("POST /mcp HTTP/9\r\n\r\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 400 Bad Request\r\n")) << answer;
    EXPECT_EQ(calls, 0);
}

std::string withToken(const std::string& requestLine, const std::string& headers = "") {
    return requestLine + "\r\nAuthorization: Bearer " + kToken + "\r\n" + headers + "\r\n";
}

// Reads a stream until `text` has come (or the time is up); answers all that came.
std::string readStreamUntil(test::HttpResponses& responses, const std::string& text, std::string received = "") {
    for (int i = 0; i < 100 && received.find(text) == std::string::npos; ++i) received += responses.pendingBytes(100);
    return received;
}

// An initialize opens a session whose id the client then sends (batches only if its revision
// had them); the server's event stream
// carries tool-list changes to each open stream (as many as allowed); ending the session
// ends its streams and the id is unknown from then on.
TEST_F(McpServerOverSockets, SessionsStartAtInitializeAndTheirEventStreamsCarryToolChanges) {
    McpServer::Limits limits;
    limits.maxEventStreams = 1;
    startServer(limits);
    int fd = connect();
    test::HttpResponses responses(fd);
    sendAll(fd, keptPost(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-03-26"}})"));
    test::HttpResponse initialized = responses.next();
    std::string session = initialized.headers["mcp-session-id"];
    ASSERT_EQ(session.size(), 36u);
    EXPECT_TRUE(std::all_of(session.begin(), session.end(), [](char c) { return c > 0x20 && c < 0x7f; }));
    sendAll(fd, keptPost("in session", "Mcp-Session-Id: " + session + "\r\n"));
    test::HttpResponse inSession = responses.next();
    EXPECT_EQ(inSession.body, "echo:in session");
    EXPECT_FALSE(inSession.headers.contains("mcp-session-id"));
    {
        std::lock_guard lock(seenMutex);
        EXPECT_EQ(seenSessions, (std::vector<std::string>{session, session}));
    }
    // The session's revision, 2025-03-26, had batches: each message is handled on its own.
    sendAll(fd, keptPost(R"([{"id":1},"none",{"id":2}])", "Mcp-Session-Id: " + session + "\r\n"));
    EXPECT_EQ(responses.next().body, R"([echo:{"id":1},echo:{"id":2}])");
    sendAll(fd, keptPost(R"(["none"])", "Mcp-Session-Id: " + session + "\r\n"));
    EXPECT_EQ(responses.next().status, 202);
    sendAll(fd, keptPost(R"([{"id":1}])"));
    EXPECT_EQ(responses.next().body, R"(echo:[{"id":1}])") << "outside that revision the body goes on whole";

    int streamFd = connect();
    test::HttpResponses stream(streamFd);
    sendAll(streamFd, withToken("GET /mcp HTTP/1.1", "Accept: text/event-stream\r\nMcp-Session-Id: " + session + "\r\n"));
    std::string head = readStreamUntil(stream, "\r\n\r\n");
    EXPECT_TRUE(head.starts_with("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n")) << head;
    EXPECT_EQ(exchange(withToken("GET /mcp HTTP/1.1", "Accept: text/event-stream\r\nConnection: close\r\n"))
                  .substr(0, 30), "HTTP/1.1 429 Too Many Requests") << "one stream is all this server allows";
    server->toolChangeNotifier()();
    std::string events = readStreamUntil(stream, "list_changed", head);
    EXPECT_NE(events.find("event: message\ndata: {\"jsonrpc\":\"2.0\",\"method\":\"notifications/tools/list_changed\"}\n\n"),
              std::string::npos) << events;

    sendAll(fd, withToken("DELETE /mcp HTTP/1.1", "Mcp-Session-Id: " + session + "\r\n"));
    EXPECT_EQ(responses.next().status, 204);
    EXPECT_TRUE(readStreamUntil(stream, "0\r\n\r\n").ends_with("0\r\n\r\n")) << "the stream ends with its session";
    EXPECT_TRUE(test::waitForClose(streamFd, 10000));
    sendAll(fd, keptPost("after the end", "Mcp-Session-Id: " + session + "\r\n"));
    EXPECT_EQ(responses.next().status, 404);
    ::close(streamFd);
    ::close(fd);
    // Nothing is left to tell, and the notifier outlives the server harmlessly.
    auto notify = server->toolChangeNotifier();
    server.reset();
    notify();
}

// Notifications about a request reach a client that asked for them (a progress token) or
// that takes only an event stream; the answer is then the stream's last event. Others get
// plain JSON, and a message that needs no answer 202 whichever form was asked for.
TEST_F(McpServerOverSockets, NotificationsAboutARequestComeAsEventsBeforeItsAnswer) {
    startServer();
    int fd = connect();
    test::HttpResponses responses(fd);
    const std::string both = "Accept: application/json, text/event-stream\r\n";
    const std::string streamOnly = "Accept: text/event-stream\r\n";
    const std::string withProgress = R"({"jsonrpc":"2.0","id":1,"method":"notify","params":{"_meta":{"progressToken":"t"}}})";
    sendAll(fd, keptPost(withProgress, both));
    test::HttpResponse streamed = responses.next();
    EXPECT_EQ(streamed.headers["content-type"], "text/event-stream");
    EXPECT_TRUE(streamed.chunked);
    EXPECT_EQ(streamed.body, "event: message\ndata: note 0\n\nevent: message\ndata: note 1\n\n"
                             "event: message\ndata: echo:" + withProgress + "\n\n");
    sendAll(fd, keptPost("notify", both));
    test::HttpResponse plain = responses.next();
    EXPECT_EQ(plain.headers["content-type"], "application/json");
    EXPECT_EQ(plain.body, "echo:notify");
    sendAll(fd, keptPost("notify", streamOnly));
    EXPECT_EQ(responses.next().body,
              "event: message\ndata: note 0\n\nevent: message\ndata: note 1\n\nevent: message\ndata: echo:notify\n\n");
    sendAll(fd, keptPost("none", streamOnly));
    EXPECT_EQ(responses.next().status, 202);
    // The connection lives on after all of them.
    sendAll(fd, post("bye"));
    EXPECT_EQ(responses.next().body, "echo:bye");
    ::close(fd);
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
    McpServer second(server->boundPort(), kToken,
                     [](std::string_view, const RequestChannel&) { return std::string("x"); });
    EXPECT_FALSE(second.start());
    EXPECT_TRUE(exchange(post("still")).ends_with("echo:still"));
}

}  // namespace
}  // namespace velmor::mcp
