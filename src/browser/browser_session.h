#pragma once

#include "browser/page_connection.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace velmor::browser {

// One connected page agent (or bridge). Only what never changes lives here; the session's
// tools, readiness and page details belong to PageAgents, which guards them.
class BrowserSession {
public:
    BrowserSession(std::string sessionId, std::shared_ptr<PageConnection> connection)
        : sessionId_(std::move(sessionId)), connection_(std::move(connection)) {}

    const std::string& sessionId() const { return sessionId_; }
    const std::shared_ptr<PageConnection>& connection() const { return connection_; }

    // Sends `message` as compact JSON in one text frame. A message that cannot be
    // serialised is not sent.
    void send(const nlohmann::json& message) const;

private:
    const std::string sessionId_;
    const std::shared_ptr<PageConnection> connection_;
};

}  // namespace velmor::browser
