#pragma once

#include <cstdint>

namespace velmor {

// The fixed ports on 127.0.0.1. Every server and client takes its port as a parameter, so
// tests use ephemeral ones; these are what the application and the bridge agree on.
inline constexpr uint16_t kMcpPort = 19820;
inline constexpr uint16_t kPageAgentPort = 19821;       // wss:// when the TLS identity loads, else ws://
inline constexpr uint16_t kPlainPageAgentPort = 19822;  // always ws://; the bridge's and injected agents'
inline constexpr uint16_t kDevToolsPort = 9222;         // the browser's remote-debugging port

struct Ports {
    uint16_t mcp = kMcpPort;
    uint16_t ws = kPageAgentPort;
    uint16_t wsPlain = kPlainPageAgentPort;
    uint16_t devTools = kDevToolsPort;
};

// The keys of ~/.velmor/config.json through which the application tells the bridge where
// it listens and the token it expects.
namespace config_keys {
inline constexpr const char* kToken = "token";
inline constexpr const char* kPort = "port";
inline constexpr const char* kWsPort = "wsPort";
}  // namespace config_keys

}  // namespace velmor
