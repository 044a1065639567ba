#include "app/application.h"

#include "app/bearer_token.h"
#include "app/json_object_file.h"
#include "app/log.h"
#include "app/paths.h"
#include "app/user_defaults.h"
#include "automation/session_manager.h"
#include "browser/browser_session_manager.h"
#include "browser/tls_identity.h"
#include "browser/websocket_server.h"
#include "mcp/json_rpc.h"
#include "mcp/mcp_server.h"
#include "shortcuts/library_watch.h"
#include "shortcuts/shortcut_library.h"
#include "platform/linux/accessibility_trust.h"
#include "tools/tool_router.h"

namespace velmor {

Application::Application(Ports ports) : ports_(ports) {}

Application::~Application() = default;

void Application::start() {
    UserDefaults defaults(paths::defaultsFile());
    token_ = loadOrCreateToken(defaults);

    Log::info("app", std::string("Accessibility trusted: ") + (platform::accessibilityTrusted() ? "true" : "false"));

    auto& router = tools::ToolRouter::shared();
    mcpServer_ = std::make_unique<mcp::McpServer>(
        ports_.mcp, token_, [&router](std::string_view body) { return mcp::handleRequest(router, body); });
    mcpServer_->start();

    // Page agents connect on both ports; the bridge listens for tool changes on the plain one.
    auto& browserSessions = browser::BrowserSessionManager::shared();
    browserSessions.setSubscriptionToken(token_);
    browser::ensureTlsIdentity(paths::tlsIdentityFile());
    wsServer_ = std::make_unique<browser::WebSocketServer>(ports_.ws, browserSessions, paths::tlsIdentityFile());
    wsServer_->start(/*forcePlain=*/false);
    wsPlainServer_ = std::make_unique<browser::WebSocketServer>(ports_.wsPlain, browserSessions);
    wsPlainServer_->start(/*forcePlain=*/true);
    browserSessions.setOnToolsChanged([&browserSessions] { browserSessions.notifyToolChangeSubscribers(); });
    // Element tools come and go with the controlled application; clients hear of it the
    // same way.
    automation::SessionManager::shared().setOnElementToolsChanged(
        [&browserSessions] { browserSessions.notifyToolChangeSubscribers(); });
    // So do the shortcut tools, whenever the user's shortcut library changes.
    shortcutWatch_ = std::make_unique<shortcuts::LibraryWatch>(
        shortcuts::defaultLibraryFolder(), [&browserSessions] { browserSessions.notifyToolChangeSubscribers(); });

    writeInternalConfig(token_, ports_.mcp, ports_.wsPlain);
    Log::info("app", "Velmor started on port " + std::to_string(ports_.mcp) + ", WebSocket on " +
                         std::to_string(ports_.ws));
}

void writeInternalConfig(const std::string& token, uint16_t mcpPort, uint16_t wsPlainPort) {
    mergeIntoJsonObjectFile(paths::sharedConfigFile(), {{"token", token}, {"port", mcpPort}, {"wsPort", wsPlainPort}});
    Log::info("app", "Wrote config to ~/.velmor/config.json");
}

}  // namespace velmor
