#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velmor::browser {

// One page tab as the DevTools endpoint lists it.
struct DevToolsPage {
    std::string url;
    std::string title;
    std::string webSocketDebuggerUrl;
};

// What Runtime.evaluate handed back: the value rendered as text, or nothing when the
// script produced undefined or null.
struct EvaluationResult {
    bool hasValue = false;
    std::string text;
};

// A failure talking to the browser, already phrased for the user.
struct DevToolsError {
    std::string message;
};

// The few DevTools Protocol calls the script injector needs. Every call opens its own
// connection: a handshake costs a few milliseconds, and keeping no state means a browser
// restarted between calls is simply found again.
class DevToolsClient {
public:
    DevToolsClient(std::string host, uint16_t port);

    // The tabs of type "page", most recently active first (the endpoint's own order).
    std::variant<std::vector<DevToolsPage>, DevToolsError> listPages() const;

    // Runs `expression` in the page and returns its value by value.
    std::variant<EvaluationResult, DevToolsError> evaluate(const DevToolsPage& page,
                                                           const std::string& expression) const;

private:
    std::string unreachable() const;

    std::string host_;
    uint16_t port_;
};

}  // namespace velmor::browser
