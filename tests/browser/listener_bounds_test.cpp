// The page-agent listeners keep at most 64 connections open: the next is closed at once,
// and a place frees up when a connection ends.
#include "browser/listener_fixture.h"
#include "net/connection_limit.h"
#include "support/free_port.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmor::browser {
namespace {

TEST_F(ListenerTest, ConnectionsBeyondTheBoundAreClosedAtOnceUntilOneEnds) {
    std::vector<int> open;
    for (size_t i = 0; i < net::kMaxConnectionsPerListener; ++i) open.push_back(velmor::test::connectLoopback(server->boundPort()));
    int extra = velmor::test::connectLoopback(server->boundPort());
    EXPECT_TRUE(test::waitForClose(extra, 10000));
    ::close(extra);

    ::close(open.back());
    open.pop_back();
    EXPECT_TRUE(test::eventually([&] {
        try {
            return !page()->sessionId().empty();
        } catch (const std::exception&) {
            return false;  // still full: closed before the handshake
        }
    })) << "the place the ended connection left is given to the next";
    for (int fd : open) ::close(fd);
}

}  // namespace
}  // namespace velmor::browser
