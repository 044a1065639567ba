#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velmor::browser {

// One page tab as the DevTools endpoint lists it.
struct DevToolsPage {
    std::string id;
    std::string url;
    std::string title;
    std::string webSocketDebuggerUrl;
};

// A failure talking to the browser, already phrased for the user.
struct DevToolsError {
    std::string message;
    bool timedOut = false;  // the browser took too long, as opposed to refusing or failing
};

// How long each exchange with the browser may take. A page that never answers (an endless
// script, a dialog nobody closes) must not hold a tool call, and through the bridge every
// later call, for longer than this.
struct DevToolsLimits {
    std::chrono::milliseconds connect{5'000};   // TCP connect plus the WebSocket handshake
    std::chrono::milliseconds write{5'000};     // sending one command
    std::chrono::milliseconds answer{30'000};   // a command's answer, script run time included
};

// A JavaScript dialog the page opened while a command ran, and how it was answered.
struct PageDialog {
    std::string type;     // "alert", "confirm", "prompt" or "beforeunload"
    std::string message;
};

// One DevTools connection to one page. Every exchange runs against a deadline; dialogs that
// open while a command runs are answered at once (alerts accepted, everything else
// dismissed) so that the command can finish, and are kept for the caller to report.
class DevToolsSession {
public:
    ~DevToolsSession();
    DevToolsSession(const DevToolsSession&) = delete;
    DevToolsSession& operator=(const DevToolsSession&) = delete;

    // Connects to a page's webSocketDebuggerUrl.
    static std::variant<std::unique_ptr<DevToolsSession>, DevToolsError> open(const std::string& webSocketUrl,
                                                                              const DevToolsLimits& limits);

    // Sends a command without waiting for its answer (answers are read in order, so a later
    // call() still sees everything this command caused).
    bool send(const std::string& method, const nlohmann::json& params = nlohmann::json::object());
    // Sends a command and waits for its "result", or answers the protocol's error.
    // `limit` replaces the usual answer limit for this one command.
    std::variant<nlohmann::json, DevToolsError> call(const std::string& method,
                                                     const nlohmann::json& params = nlohmann::json::object(),
                                                     std::optional<std::chrono::milliseconds> limit = std::nullopt);
    // Waits up to `limit` for an event `accept` takes (events that arrived earlier count);
    // false when none came.
    bool waitForEvent(const std::function<bool(const std::string& method, const nlohmann::json& params)>& accept,
                      std::chrono::milliseconds limit);

    const std::vector<PageDialog>& dialogs() const;

private:
    struct Impl;
    explicit DevToolsSession(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The DevTools endpoint of one browser: its tab list and connections to its pages.
class DevToolsClient {
public:
    DevToolsClient(std::string host, uint16_t port, DevToolsLimits limits = {});

    // The tabs of type "page", most recently active first (the endpoint's own order).
    std::variant<std::vector<DevToolsPage>, DevToolsError> listPages() const;
    std::variant<std::unique_ptr<DevToolsSession>, DevToolsError> connect(const DevToolsPage& page) const;
    // Connects to the page with this target id without listing the tabs first; fails when
    // the tab is gone.
    std::variant<std::unique_ptr<DevToolsSession>, DevToolsError> connect(const std::string& targetId) const;

private:
    std::string unreachable() const;

    std::string host_;
    uint16_t port_;
    DevToolsLimits limits_;
};

}  // namespace velmor::browser
