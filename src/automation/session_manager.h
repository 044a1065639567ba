#pragma once

#include "automation/element_action.h"
#include "automation/element_scanner.h"
#include "automation/input_actions.h"
#include "automation/own_processes.h"
#include "automation/scanned_element.h"
#include "automation/session_responses.h"
#include "base/guarded.h"
#include "base/result.h"
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
// start to end (the wait for the interface to settle included), so the target, the last
// scan, the values the diffs are based on and the recording always belong to one sequence
// of calls. What readers need meanwhile (the target and the last scan's tools, for
// tools/list and the window tools) is published under a small lock of its own, so they never
// wait behind an action. Lock order: session, then published; session, then the platform's
// (the AT-SPI bus, then the X display); session, then the flow store. Never the other way
// round: the platform and the store call nothing back that would take the session lock.
//
// Velmor's own processes (own_processes.h) never become the target.
//
// A target that has quit ends the session as session_end does, and every operation that
// meets it answers "<app> is no longer running. Call session_start again.": input must
// never reach whatever window is in front instead. A target that quits on an element
// action is that action's outcome instead (performAction).
class SessionManager {
public:
    SessionManager(platform::Accessibility& accessibility, platform::Applications& applications,
                   platform::Windows& windows, platform::Input& input, flows::FlowStore& flows);

    Result<nlohmann::json> startSession(const std::optional<std::string>& appName,
                                        const std::optional<std::string>& bundleId);
    // Ends the session, if any: the application it had ("none" without one) and what became
    // of its recording.
    struct [[nodiscard]] EndedSession {
        std::string app;
        Result<nlohmann::json> flow;
    };
    EndedSession endSession(const std::optional<std::string>& saveName);
    // Rescans; the full state.
    Result<nlohmann::json> getState();
    // Rescans; what changed since the last answer.
    Result<nlohmann::json> getStateDiff();
    // Hears of an element action that took: the window title and the number of elements
    // after it. Called with the session held, so the step lands in the recording the action
    // belongs to; it may take the flow store's lock, never the session's.
    using ActionTaken = std::function<void(const std::string& windowTitle, int64_t elementCount)>;
    // Carries out one element tool of the last scan, waits for the effect, rescans, tells
    // `taken` (when given: nothing else keeps steps) and answers the diff. When the target
    // quits on the action (a form that submits and exits), that is the action's outcome: the
    // answer is a success that says the application ended, with its exit status where it can
    // be read, and the session ends as session_end ends it, its recording left open for
    // session_end to save.
    Result<nlohmann::json> performAction(const std::string& toolName, const nlohmann::json& args,
                                         const ActionTaken& taken = {});
    // Brings the target forward, waits for it and answers the diff.
    Result<nlohmann::json> activateTarget();
    // The regular applications: name, bundle_id, pid (all strings).
    nlohmann::json listApps();

    // Around an input tool's action on the target's process `pid` (keys, typing, a menu
    // command): follows what the target does from then on, and waits until its interface has
    // settled, so that the diff answered after holds the action's effect. They take no session
    // lock (the accessibility bus has its own): an element action running meanwhile on the
    // same target at worst shortens or lengthens the wait.
    void followTarget(int32_t pid) { accessibility_.followChanges(pid); }
    void awaitTargetSettled(int32_t pid) { accessibility_.awaitSettled(pid, {}); }

    // The target's process, for the tools that act on its windows and input; nothing
    // without a session. Never waits behind an action.
    std::optional<int32_t> targetPid();
    // The target's process when it still runs, for a tool about to act on it. Otherwise the
    // error to answer: "no active session", or, when the target has quit, the session is
    // ended and the error says so. Waits behind an action only to end the session.
    Result<int32_t> liveTarget();
    // The element tools of the last scan, in scan order; none without a session. Never
    // waits behind an action.
    std::vector<ScannedElement> elementTools();
    // Whether the last scan has an element tool of that name; as cheap as a look-up, for
    // callers that ask of many names. Never waits behind an action.
    bool hasElementTool(const std::string& toolName);
    // Called when a scan or the end of the session changes the set of element tool names,
    // so that clients listing the tools learn of it. Set once, before the first call.
    void setOnElementToolsChanged(std::function<void()> callback);
    // Names element tools never take (the fixed tools'): an element that would have one gets
    // the next numbered name. Set once, before the first call.
    void setReservedToolNames(std::vector<std::string> names);
    // Called whenever a session starts on a target (the recorder forgets the window it
    // chose for the previous one). Set once, before the first call.
    void setOnSessionStarted(std::function<void()> callback);
    // Called with the target's name whenever the target changes, and with an empty name
    // when the session ends (session_end, or the target quit); called once at once with
    // the current one. Called with the session lock held: it must not call back here.
    void setOnTargetChanged(std::function<void(const std::string&)> callback);

private:
    bool active() const { return targetApp_ && scanner_; }
    Result<nlohmann::json> rescanForDiff();
    // With the session lock held: whether the target still runs; when it does not, the
    // session is ended and the error to answer is returned.
    std::optional<std::string> endIfGone();
    std::string goneMessage() const;
    // With the session lock held, after an action: when the target has ended, the answer
    // that says so, with the session ended and the step recorded.
    std::optional<nlohmann::json> endedByAction(const std::string& toolName, const ActionTaken& taken);
    // Forgets the target and its scans, and tells whoever listens.
    void dropTarget();
    // Ends the session and its recording, saved under `saveName` when given: the recording's summary.
    Result<nlohmann::json> endLocked(const std::optional<std::string>& saveName);
    void scanTarget();
    // Makes `scan` the last scan and publishes it.
    void adoptScan(ScanResult scan);
    // Makes the current target and scan the ones readers see, telling whoever listens when
    // the tool names changed with them.
    void publish();

    std::mutex mutex_;  // the session lock: taken before the bus, the display and the store
    platform::Accessibility& accessibility_;
    platform::Applications& applications_;
    flows::FlowStore& flows_;
    InputActions input_;
    ElementActions actions_;

    std::optional<platform::RunningApplication> targetApp_;
    std::optional<ElementScanner> scanner_;
    std::shared_ptr<const ScanResult> lastScan_;
    SeenState lastSeen_;
    std::function<void()> onElementToolsChanged_;
    std::function<void()> onSessionStarted_;
    std::function<void(const std::string&)> onTargetChanged_;
    std::vector<std::string> reservedToolNames_;
    const OwnProcesses own_ = velmorProcesses();

    // What readers that never wait behind an action see: the target and scan of the last
    // publish().
    struct Published {
        std::optional<platform::RunningApplication> target;
        std::shared_ptr<const ScanResult> scan;
    };
    Guarded<Published> published_;
};

}  // namespace velmor::automation
