#pragma once

#include "bridge/bridge_config.h"

#include <boost/asio/io_context.hpp>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

namespace velmor::bridge {

// Hands JSON-RPC messages to the application's MCP endpoint, one POST per message.
class HttpForwarder {
public:
    // Receives the line to write for the message: the answer as one JSON-RPC line, or an
    // error line carrying the request's id. Called on the io_context's thread, or at once
    // on the caller's when the address cannot be formed.
    using Completion = std::function<void(std::string)>;

    HttpForwarder(boost::asio::io_context& io, BridgeConfig config);

    // Starts the exchange and returns without waiting for it. `requestId` is what the
    // answer must carry, and what the bridge's own error lines carry.
    void forward(std::string message, nlohmann::json requestId, Completion completion);

private:
    boost::asio::io_context& io_;
    BridgeConfig config_;
};

}  // namespace velmor::bridge
