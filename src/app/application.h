#pragma once

#include "base/ports.h"
#include "base/result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velmor {

namespace automation {
class SessionManager;
}
namespace browser {
class BrowserSessionManager;
class ScriptInjector;
class WebSocketServer;
}  // namespace browser
namespace flows {
class FlowStore;
}
namespace mcp {
class McpServer;
}
namespace media {
class AudioPlayer;
class TTSEngine;
class TTSManager;
class WindowRecorder;
}
namespace platform {
class Desktop;
}
namespace tools {
class ToolRouter;
}
namespace shortcuts {
class LibraryWatch;
class ShortcutBuilder;
}

// The composition root: every long-lived service of the process is built here, once, in a
// fixed order, handed to whoever needs it, and kept for the life of the process. Nothing
// else builds a service or reaches for a process-wide instance.
class Application {
public:
    explicit Application(Ports ports = {});
    ~Application();

    // Builds the services and starts serving; fails when a port cannot be had.
    Result<void> start();

    const std::string& token() const { return token_; }
    const Ports& ports() const { return ports_; }
    // The answer of the accessibility check made at start-up.
    bool accessibilityTrusted() const { return accessibilityTrusted_; }
    // The speech manager the tools use; the settings window configures and tries the same one.
    media::TTSManager& speech() { return *speech_; }
    platform::Desktop& desktop() { return *desktop_; }
    // Tells `listener` the name of the application under control now and whenever it
    // changes (empty: none). It runs on the thread of the tool call that changed it, with
    // the session locked, so it must only hand the name on.
    void followTarget(std::function<void(const std::string&)> listener);

private:
    void buildServices();
    void buildToolRouter();
    Result<void> startServers();

    Ports ports_;
    std::string token_;
    std::unique_ptr<platform::Desktop> desktop_;
    std::unique_ptr<flows::FlowStore> flowStore_;
    std::unique_ptr<media::AudioPlayer> audioPlayer_;
    std::unique_ptr<media::TTSEngine> systemVoice_;
    std::unique_ptr<media::TTSManager> speech_;
    std::unique_ptr<media::WindowRecorder> recorder_;
    std::unique_ptr<automation::SessionManager> session_;
    std::unique_ptr<shortcuts::ShortcutBuilder> shortcutBuilder_;
    std::unique_ptr<browser::BrowserSessionManager> browserSessions_;
    std::unique_ptr<browser::ScriptInjector> scriptInjector_;
    std::unique_ptr<tools::ToolRouter> router_;
    bool accessibilityTrusted_ = false;
    std::unique_ptr<mcp::McpServer> mcpServer_;
    std::unique_ptr<browser::WebSocketServer> wsServer_;
    std::unique_ptr<browser::WebSocketServer> wsPlainServer_;
    std::unique_ptr<shortcuts::LibraryWatch> shortcutWatch_;
};

// Publishes what the bridge needs in ~/.velmor/config.json, keeping every other key.
Result<void> writeInternalConfig(const std::string& token, uint16_t mcpPort, uint16_t wsPlainPort);

}  // namespace velmor
