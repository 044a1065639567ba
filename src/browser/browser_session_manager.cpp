#include "browser/browser_session_manager.h"

#include "base/log.h"

namespace velmor::browser {

using nlohmann::json;

std::shared_ptr<BrowserSession> BrowserSessionManager::createSession(std::shared_ptr<PageConnection> connection) {
    return agents_.add(std::move(connection));
}

void BrowserSessionManager::removeSession(const std::string& sessionId) {
    if (auto session = agents_.remove(sessionId)) subscribers_.remove(session->connection().get());
    // Nobody is left to answer these; their callers should not wait out the time-out.
    calls_.endCallsOf(sessionId);
    Log::info("browser", "Session removed: " + sessionId);
}

bool BrowserSessionManager::subscribeToolChanges(const std::string& sessionId, const std::string& token) {
    auto session = agents_.session(sessionId);
    return session && subscribers_.subscribe(session->connection(), token);
}

Result<json> BrowserSessionManager::callBrowserTool(const std::string& name, const json& args) {
    auto session = agents_.offering(name);
    if (!session) return fail("tool '" + name + "' not found in any browser session");
    return calls_.call(*session, name, args, [&] { return agents_.session(session->sessionId()) != nullptr; });
}

}  // namespace velmor::browser
