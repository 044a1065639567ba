#pragma once

#include <cstdint>
#include <string>

namespace velmor::test {

// A loopback TCP port that was free a moment ago (bound to port 0, then released).
uint16_t freePort();

// Connects to 127.0.0.1:port; -1 on failure.
int connectLoopback(uint16_t port);

// Sends the bytes and reads until the peer closes the connection (or `timeoutMs` passes).
std::string sendAndReadAll(uint16_t port, const std::string& request, int timeoutMs = 5000);

// Reads from the socket until the peer closes it or `timeoutMs` passes.
std::string readUntilClosed(int fd, int timeoutMs = 5000);

// True when the peer closed the socket within `timeoutMs`: an orderly end (reads nothing
// more), or a reset because bytes were still arriving.
bool waitForClose(int fd, int timeoutMs);

void sendAll(int fd, const std::string& bytes);

}  // namespace velmor::test
