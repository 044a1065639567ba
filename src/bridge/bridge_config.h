#pragma once

#include "base/ports.h"

#include <cstdint>
#include <string>

namespace velmor::bridge {

// Where the application listens and the token it expects, as the application wrote them
// to ~/.velmor/config.json. Read once at start: a token rotated later takes effect only
// when the client restarts the bridge.
struct BridgeConfig {
    std::string token;
    // Kept as configured, even out of range: such a port makes every request answer the
    // "bad URL" line rather than silently going to another port.
    std::int64_t port = kMcpPort;
    std::uint16_t wsPort = kPlainPageAgentPort;
};

// Never fails: a missing or unreadable file, or one that is not a JSON object, gives the
// defaults; each field that has the wrong type gives its own default, as does a token that
// could not go into a header (checkHeaderValue).
BridgeConfig loadBridgeConfig(const std::string& configPath);

}  // namespace velmor::bridge
