#pragma once

#include "base/result.h"
#include "browser/dialog_watch.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::browser {

// What a call that names a frame which has left the page answers.
inline constexpr const char* kFrameGoneError = "Chrome: the frame is gone; run web_scan again";

// One page tab as the DevTools endpoint lists it.
struct DevToolsPage {
    std::string id;
    std::string url;
    std::string title;
    std::string webSocketDebuggerUrl;
};

// How long each exchange with the browser may take. A page that never answers (an endless
// script, a dialog nobody closes) must not hold a tool call, and through the bridge every
// later call, for longer than this.
struct DevToolsLimits {
    std::chrono::milliseconds connect{5'000};   // TCP connect plus the WebSocket handshake
    std::chrono::milliseconds write{5'000};     // sending one command
    std::chrono::milliseconds answer{30'000};   // a command's answer, script run time included
};

// A limit as the errors that name it put it: "30 s", "1.5 s".
std::string secondsText(std::chrono::milliseconds limit);

// One DevTools connection to one page. Every exchange runs against a deadline; dialogs that
// open while a command runs are answered at once (by acceptedByDefault) so that the command
// can finish, unless a DialogWatch does that, and are kept for the caller to report.
// Failures are phrased for the user.
class DevToolsSession {
public:
    virtual ~DevToolsSession() = default;

    // Sends a command without waiting for its answer (answers are read in order, so a later
    // call() still sees everything this command caused).
    virtual bool send(const std::string& method, const nlohmann::json& params = nlohmann::json::object()) = 0;
    // Sends a command and waits for its "result", or fails with the protocol's error.
    // `limit` replaces the usual answer limit for this one command.
    virtual Result<nlohmann::json> call(const std::string& method,
                                        const nlohmann::json& params = nlohmann::json::object(),
                                        std::optional<std::chrono::milliseconds> limit = std::nullopt) = 0;
    // Waits up to `limit` for an event `accept` takes (events that arrived earlier count);
    // false when none came.
    virtual bool waitForEvent(
        const std::function<bool(const std::string& method, const nlohmann::json& params)>& accept,
        std::chrono::milliseconds limit) = 0;
    // Whether an event `accept` takes has already arrived, without reading or waiting; when
    // one has, the events before it are dropped, so a waitForEvent after starts at it.
    virtual bool skipToArrivedEvent(
        const std::function<bool(const std::string& method, const nlohmann::json& params)>& accept) = 0;
    // False once the connection is lost or a command ran out of time: every later command fails.
    virtual bool usable() const = 0;

    virtual const std::vector<PageDialog>& dialogs() const = 0;
    // Whether this connection answers the dialogs it meets (it does unless told otherwise);
    // they are kept for dialogs() either way.
    virtual void answerDialogs(bool answer) = 0;

    // A frame of another site runs in a renderer process of its own, which this session's
    // commands do not reach: it is spoken to through a session attached to the frame's target
    // (whose id is the frame's id). Attached sessions travel over this session's connection:
    // they are used by the thread that uses this session, and must not outlive it.
    struct AttachedFrame {
        std::string targetId;
        std::string url;
        std::unique_ptr<DevToolsSession> session;
    };
    // The out-of-process frames directly below this session's target, at most `most`.
    virtual Result<std::vector<AttachedFrame>> attachChildFrames(size_t most,
                                                                 std::optional<std::chrono::milliseconds> limit) = 0;
    // A session on the out-of-process frame with this target id; fails when the frame is gone.
    virtual Result<std::unique_ptr<DevToolsSession>> attachFrame(const std::string& targetId,
                                                                 std::optional<std::chrono::milliseconds> limit) = 0;
};

// The DevTools endpoint of one browser: its tab list, and the connections to its pages.
class DevToolsClient {
public:
    virtual ~DevToolsClient() = default;

    // The tabs of type "page", most recently active first (the endpoint's own order).
    virtual Result<std::vector<DevToolsPage>> listPages() const = 0;
    virtual Result<std::unique_ptr<DevToolsSession>> connect(const DevToolsPage& page) const = 0;
    // Connects to the page with this target id without listing the tabs first; fails when
    // the tab is gone.
    virtual Result<std::unique_ptr<DevToolsSession>> connect(const std::string& targetId) const = 0;
    // The listener for dialogs pages open between commands; none for an endpoint without one.
    virtual DialogWatch* dialogWatch() const { return nullptr; }
};

// The DevTools endpoint of a Chromium or Chrome started with --remote-debugging-port: the tab
// list over HTTP, each page over its own WebSocket.
class ChromiumDevTools final : public DevToolsClient {
public:
    ChromiumDevTools(std::string host, uint16_t port, DevToolsLimits limits = {});

    Result<std::vector<DevToolsPage>> listPages() const override;
    Result<std::unique_ptr<DevToolsSession>> connect(const DevToolsPage& page) const override;
    Result<std::unique_ptr<DevToolsSession>> connect(const std::string& targetId) const override;
    // Started on first use: most users of the endpoint never need one.
    DialogWatch* dialogWatch() const override;

private:
    std::string unreachable() const;

    std::string host_;
    uint16_t port_;
    DevToolsLimits limits_;
    mutable std::once_flag watchStarted_;
    mutable std::unique_ptr<DialogWatch> dialogWatch_;
};

}  // namespace velmor::browser
