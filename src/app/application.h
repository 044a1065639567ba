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
namespace shortcuts {
class LibraryWatch;
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

private:
    Ports ports_;
    std::string token_;
    std::unique_ptr<mcp::McpServer> mcpServer_;
    std::unique_ptr<browser::WebSocketServer> wsServer_;
    std::unique_ptr<browser::WebSocketServer> wsPlainServer_;
    std::unique_ptr<shortcuts::LibraryWatch> shortcutWatch_;
};

// Publishes what the bridge needs in ~/.velmor/config.json, keeping every other key.
void writeInternalConfig(const std::string& token, uint16_t mcpPort, uint16_t wsPlainPort);

}  // namespace velmor
