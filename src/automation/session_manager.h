#pragma once

#include "automation/ax_element.h"
#include "automation/ax_scanner.h"
#include "automation/element_action.h"
#include "automation/input_actions.h"
#include "automation/session_responses.h"
#include "flows/flow_store.h"
#include "platform/accessibility.h"
#include "platform/applications.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmor::automation {

// Binds the agent to one running application, the target: starting finds, activates and
// scans it and opens a flow recording; every element tool is carried out, the interface
// rescanned and only what changed is answered; ending closes the recording.
//
// Tool calls arrive on several HTTP threads at once. Every operation holds one lock from
// start to end (settle delays included), so the target, the last scan, the values the
// diffs are based on and the recording always belong to one sequence of calls. What
// readers need meanwhile (the target and the last scan's tools, for tools/list and the
// window tools) is published under a small lock of its own, so they never wait behind an
// action. Lock order: session, then published.
//
// A target that has quit ends the session as session_end does, and every operation that
// meets it answers "<app> is no longer running. Call session_start again.": input must
// never reach whatever window is in front instead.
class SessionManager {
public:
    // The process's session, on this desktop and the process's flow store.
    static SessionManager& shared();

    SessionManager(platform::Accessibility& accessibility, platform::Applications& applications,
                   platform::Windows& windows, platform::Input& input, flows::FlowStore& flows);

    nlohmann::json startSession(const std::optional<std::string>& appName, const std::optional<std::string>& bundleId);
    nlohmann::json endSession(const std::optional<std::string>& saveName);
    // Rescans; the full state.
    nlohmann::json getState();
    // Rescans; what changed since the last answer.
    nlohmann::json getStateDiff();
    // Carries out one element tool of the last scan, waits for the effect, rescans, records
    // the step and answers the diff.
    nlohmann::json performAction(const std::string& toolName, const nlohmann::json& args);
    // Brings the target forward, waits for it and answers the diff.
    nlohmann::json activateTarget();
    // The regular applications: name, bundle_id, pid (all strings).
    nlohmann::json listApps();

    // The target's process, for the tools that act on its windows and input; nothing
    // without a session. Never waits behind an action.
    std::optional<int32_t> targetPid();
    // The target's process when it still runs, for a tool about to act on it. Otherwise the
    // error to answer: "no active session", or, when the target has quit, the session is
    // ended and the error says so. Waits behind an action only to end the session.
    struct LiveTarget {
        int32_t pid = 0;
        std::optional<std::string> error;
    };
    LiveTarget liveTarget();
    // The element tools of the last scan, in scan order; none without a session. Never
    // waits behind an action.
    std::vector<AXElement> elementTools();
    // Called when a scan or the end of the session changes the set of element tool names,
    // so that clients listing the tools learn of it. Set once, before the first call.
    void setOnElementToolsChanged(std::function<void()> callback);
    // Called whenever a session starts on a target (the recorder forgets the window it
    // chose for the previous one). Set once, before the first call.
    void setOnSessionStarted(std::function<void()> callback);

private:
    bool active() const { return targetApp_ && scanner_; }
    nlohmann::json rescanForDiff();
    // With the session lock held: whether the target still runs; when it does not, the
    // session is ended and the error to answer is returned.
    std::optional<std::string> endIfGone();
    std::string goneMessage() const;
    void endLocked(const std::optional<std::string>& saveName, nlohmann::json* flow);
    void scanTarget();
    // Makes the current target and scan the ones readers see, telling whoever listens when
    // the tool names changed with them.
    void publish();

    std::mutex mutex_;
    platform::Accessibility& accessibility_;
    platform::Applications& applications_;
    flows::FlowStore& flows_;
    InputActions input_;
    ElementActions actions_;

    std::optional<platform::RunningApplication> targetApp_;
    std::optional<AXScanner> scanner_;
    std::shared_ptr<const ScanResult> lastScan_;
    ToolStates previousTools_;
    std::function<void()> onElementToolsChanged_;
    std::function<void()> onSessionStarted_;

    std::mutex publishedMutex_;
    std::optional<platform::RunningApplication> publishedTarget_;
    std::shared_ptr<const ScanResult> publishedScan_;
};

}  // namespace velmor::automation
