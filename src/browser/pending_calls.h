#pragma once

#include "base/guarded.h"
#include "base/result.h"
#include "browser/browser_session.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <semaphore>
#include <string>

namespace velmor::browser {

// Tool calls sent to a page and waiting for its answer. A caller waits without the lock
// held, so answers keep arriving on the WebSocket threads while calls block.
class PendingCalls {
public:
    struct Timeouts {
        std::chrono::milliseconds toolCall{120'000};
    };

    explicit PendingCalls(Timeouts timeouts) : timeouts_(timeouts) {}
    PendingCalls(const PendingCalls&) = delete;
    PendingCalls& operator=(const PendingCalls&) = delete;

    // Sends the call of tool `name` to `session` and blocks until the page answers, the call
    // times out, is cancelled or the session ends. `connected` is asked once the call waits:
    // a session that ended before then ends the call as endCallsOf would.
    Result<nlohmann::json> call(const BrowserSession& session, const std::string& name, const nlohmann::json& args,
                                const std::function<bool()>& connected);
    // Answers from session `sessionId`. An answer for a call that is no longer waiting, or
    // that was sent to another session, is dropped.
    void handleToolResult(const std::string& sessionId, const std::string& callId, const nlohmann::json& content);
    void handleToolError(const std::string& sessionId, const std::string& callId, const std::string& error);
    // Calls still waiting on the session end at once with "browser session closed".
    void endCallsOf(const std::string& sessionId);

private:
    struct PendingCall {
        std::string sessionId;
        std::optional<Result<nlohmann::json>> result;
        std::shared_ptr<std::binary_semaphore> answered;
    };
    using Calls = std::map<std::string, PendingCall>;  // by call id

    // Stores the first answer for a waiting call and wakes its caller.
    void complete(const std::string& sessionId, const std::string& callId, Result<nlohmann::json> result);

    const Timeouts timeouts_;
    Guarded<Calls> calls_;
};

}  // namespace velmor::browser
