#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velmor {

namespace mcp {
class McpServer;
}
namespace browser {
class WebSocketServer;
}

// The fixed ports. Servers take their port as a parameter so tests can use others.
struct Ports {
    uint16_t mcp = 19820;
    uint16_t ws = 19821;       // wss:// when the TLS identity loads, else ws://
    uint16_t wsPlain = 19822;  // always ws://; the one the bridge uses
};

// Brings Velmor's services up, once, in a fixed order, and keeps them for the life of the
// process.
class Application {
public:
    explicit Application(Ports ports = {});
    ~Application();

    void start();

    const std::string& token() const { return token_; }
    const Ports& ports() const { return ports_; }
    // The answer of the accessibility check made at start-up.
    bool accessibilityTrusted() const { return accessibilityTrusted_; }

private:
    Ports ports_;
    std::string token_;
    bool accessibilityTrusted_ = false;
    std::unique_ptr<mcp::McpServer> mcpServer_;
    std::unique_ptr<browser::WebSocketServer> wsServer_;
    std::unique_ptr<browser::WebSocketServer> wsPlainServer_;
};

// Publishes what the bridge needs in ~/.velmor/config.json, keeping every other key.
void writeInternalConfig(const std::string& token, uint16_t mcpPort, uint16_t wsPlainPort);

}  // namespace velmor
