#include "bridge/bridge_process.h"

#include "base/paths.h"
#include "bridge/bridge_config.h"
#include "bridge/diagnostics.h"
#include "bridge/http_forwarder.h"
#include "bridge/stdin_reader.h"
#include "bridge/stdout_lines.h"
#include "bridge/websocket_link.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>

namespace velmor::bridge {

void runBridge() {
    // A client that stops reading must not kill the bridge in the middle of a write; the
    // write fails instead and the bridge ends normally when standard input closes.
    std::signal(SIGPIPE, SIG_IGN);
    std::ios::sync_with_stdio(false);

    BridgeConfig config = loadBridgeConfig(paths::sharedConfigFile());
    log("Starting stdio bridge (HTTP:" + std::to_string(config.port) + ", WS:" + std::to_string(config.wsPort) + ")");

    StdoutLines stdoutLines(STDOUT_FILENO);
    // One thread runs every exchange, the WebSocket link and its timers; nothing on it
    // blocks (standard output has a writer of its own), so a long request never stalls a
    // pushed notification, nor a client that stops reading the WebSocket.
    boost::asio::io_context io(1);
    auto keepRunning = boost::asio::make_work_guard(io);
    WebSocketLink webSocket(io, config.wsPort, config.token, stdoutLines);
    webSocket.start();
    std::thread([&io, &stdoutLines] {
        try {
            io.run();
        } catch (const std::exception& error) {
            // Without this thread no request would ever be answered again; better to end
            // and let the client see the bridge go.
            log(std::string("Network thread stopped: ") + error.what());
            stdoutLines.exitProcess(1);
        }
    }).detach();

    HttpForwarder forwarder(io, config, stdoutLines);
    forwardInputLines(std::cin, forwarder, stdoutLines);
    forwarder.waitUntilAnswered();
    stdoutLines.exitProcess(0);
}

}  // namespace velmor::bridge
