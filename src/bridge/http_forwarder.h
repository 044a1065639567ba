#pragma once

#include "base/guarded.h"
#include "bridge/bridge_config.h"
#include "bridge/connection_pool.h"
#include "bridge/stdin_messages.h"
#include "bridge/stdout_lines.h"

#include <boost/asio/io_context.hpp>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace velmor::bridge {

// Hands JSON-RPC messages to the application's MCP endpoint, each as a POST of its own as
// soon as it is read, and writes each answer to standard output as it comes, so a long
// tool call holds up nothing else. Keeps the MCP session the application issues at
// initialize, and opens it again (replaying the client's initialize) when the
// application no longer knows it, after a restart.
//
// Everything but forward() runs on the io_context's one thread: no lock.
class HttpForwarder {
public:
    HttpForwarder(boost::asio::io_context& io, BridgeConfig config, StdoutLines& stdoutLines);

    // Starts the exchange and returns without waiting for it; messages go out in the
    // order they were forwarded. Callable from any thread.
    void forward(std::string message, InputMessage info);
    // Returns once every request forwarded so far has its line: the client that closed its
    // end still gets the answers it asked for. Callable from any thread but the I/O one.
    void waitUntilAnswered();

    struct Session {
        std::string id;               // the application's Mcp-Session-Id; "" for none
        std::string protocolVersion;  // agreed at initialize
        std::string initializeLine;   // the client's, replayed to open a new session
        std::string initializedLine;
    };

    class Exchange;  // one message's trip, in the implementation file

private:
    friend class Exchange;

    // Calls `then` once a session other than `staleId` is open, or opening it failed.
    void renewSession(const std::string& staleId, std::function<void()> then);

    boost::asio::io_context& io_;
    BridgeConfig config_;
    StdoutLines& stdoutLines_;
    ConnectionPool pool_;
    Session session_;
    bool renewing_ = false;
    std::vector<std::function<void()>> afterRenewal_;

    // The one state shared with the reading thread.
    Guarded<std::size_t> unanswered_{0};
    std::condition_variable answered_;
};

}  // namespace velmor::bridge
