#pragma once

#include "bridge/bridge_config.h"

#include <boost/asio/io_context.hpp>
#include <functional>
#include <string>

namespace velmor::bridge {

// Hands JSON-RPC messages to the application's MCP endpoint, one POST per message.
class HttpForwarder {
public:
    // Receives the line to write for the message: the answer body, or one of the error
    // lines. Called on the io_context's thread, or at once on the caller's when the
    // address cannot be formed.
    using Completion = std::function<void(std::string)>;

    HttpForwarder(boost::asio::io_context& io, BridgeConfig config);

    // Starts the exchange and returns without waiting for it.
    void forward(std::string message, Completion completion);

private:
    boost::asio::io_context& io_;
    BridgeConfig config_;
};

}  // namespace velmor::bridge
