#include "automation/session_manager.h"

#include "base/error_result.h"
#include "base/log.h"
#include "base/outside_text.h"
#include "base/text.h"
#include "base/utf8.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>
#include <thread>

namespace velmor::automation {

using nlohmann::json;

namespace {

// What an application just brought forward needs before it is first read: it learns of
// Velmor's interest in its events only meanwhile, so there is nothing to wait on yet.
constexpr auto kStartDelay = std::chrono::milliseconds(300);
// How long an application whose last window closed on an action gets to end.
constexpr auto kExitGrace = std::chrono::milliseconds(1500);
constexpr auto kExitPoll = std::chrono::milliseconds(50);

const platform::RunningApplication* findApplication(const std::vector<platform::RunningApplication>& apps,
                                                    const std::optional<std::string>& appName,
                                                    const std::optional<std::string>& bundleId) {
    // An application id decides alone, even when nothing has it.
    if (bundleId && !bundleId->empty()) {
        for (const auto& app : apps) {
            if (app.bundleId == *bundleId) return &app;
        }
        return nullptr;
    }
    std::string wanted = lowerAscii(*appName);
    for (const auto& app : apps) {
        if (app.name && lowerAscii(*app.name) == wanted) return &app;
    }
    for (const auto& app : apps) {
        if (app.name && lowerAscii(*app.name).find(wanted) != std::string::npos) return &app;
    }
    return nullptr;
}

// What a client listing the tools sees of a scan: the names, each once.
std::set<std::string> elementToolNames(const ScanResult* scan) {
    std::set<std::string> names;
    if (scan) {
        for (const auto& element : scan->elements) names.insert(element.toolName);
    }
    return names;
}

bool sameProcess(const std::optional<platform::RunningApplication>& one,
                 const std::optional<platform::RunningApplication>& other) {
    if (!one || !other) return !one && !other;
    return one->pid == other->pid && one->started == other->started;
}

// How the user knows the target: its name, else its application id; empty without one.
std::string targetName(const std::optional<platform::RunningApplication>& target) {
    if (!target) return "";
    return target->name.value_or(target->bundleId.value_or("pid " + std::to_string(target->pid)));
}

}  // namespace

SessionManager::SessionManager(platform::Accessibility& accessibility, platform::Applications& applications,
                               platform::Windows& windows, platform::Input& input, flows::FlowStore& flows)
    : accessibility_(accessibility),
      applications_(applications),
      flows_(flows),
      input_(input, windows, applications),
      actions_(input_) {}

Result<json> SessionManager::startSession(const std::optional<std::string>& appName,
                                  const std::optional<std::string>& bundleId) {
    std::lock_guard guard(mutex_);
    if ((!appName || appName->empty()) && (!bundleId || bundleId->empty()))
        return fail("provide app_name or bundle_id");
    if (auto desktop = applications_.reachable(); !desktop)
        return fail("desktop not available: " + desktop.error());

    auto apps = applications_.regularApplications();
    const platform::RunningApplication* match = findApplication(apps, appName, bundleId);
    if (!match) {
        std::string names;
        for (const auto& app : apps) {
            if (app.name) names += (names.empty() ? "" : ", ") + outside_text::label(*app.name);
        }
        return fail("app not found. Running apps: " + names);
    }

    if (own_.owns(match->pid)) return fail(kOwnWindow);

    // Scanned before it becomes the target: an application that quits meanwhile leaves the
    // previous session as it was.
    platform::RunningApplication candidate = *match;
    ElementScanner scanner(accessibility_, candidate.pid, reservedToolNames_);
    // A target that cannot be raised is still read and pressed; activate_app says why.
    static_cast<void>(applications_.activate(candidate.pid));
    accessibility_.prepare(candidate.pid);
    std::this_thread::sleep_for(kStartDelay);
    auto scan = std::make_shared<const ScanResult>(scanner.scan());
    if (!applications_.isRunning(candidate))
        return fail(candidate.name.value_or("the application") + " is no longer running.");

    // A session already running is replaced; its recording is left to the flow store,
    // which abandons it when the new one begins.
    targetApp_ = std::move(candidate);
    scanner_.emplace(scanner);
    lastScan_ = std::move(scan);
    publish();
    if (onSessionStarted_) onSessionStarted_();

    Log::info("session", "Started session: " + targetApp_->name.value_or("?") + " (pid " +
                             std::to_string(targetApp_->pid) + ", " + std::to_string(lastScan_->elements.size()) +
                             " elements)");
    flows_.beginRecording(targetApp_->name.value_or(""), targetApp_->bundleId);
    lastSeen_ = seenState(*lastScan_);
    return stateResponse(*lastScan_, *targetApp_);
}

SessionManager::EndedSession SessionManager::endSession(const std::optional<std::string>& saveName) {
    std::lock_guard guard(mutex_);
    std::string app = targetApp_ && targetApp_->name ? *targetApp_->name : "none";
    return {std::move(app), endLocked(saveName)};
}

Result<json> SessionManager::endLocked(const std::optional<std::string>& saveName) {
    Result<json> flow = flows_.endRecording(saveName);
    dropTarget();
    return flow;
}

void SessionManager::dropTarget() {
    // lastSeen_ stays: the next state response rebuilds it.
    targetApp_.reset();
    scanner_.reset();
    lastScan_.reset();
    publish();
}

std::string SessionManager::goneMessage() const {
    std::string app = targetApp_ ? outside_text::label(targetApp_->name.value_or(targetApp_->bundleId.value_or("")))
                                 : "";
    if (app.empty()) app = "the application";
    return app + " is no longer running. Call session_start again.";
}

std::optional<std::string> SessionManager::endIfGone() {
    if (!targetApp_ || applications_.isRunning(*targetApp_)) return std::nullopt;
    std::string message = goneMessage();
    Log::info("session", message);
    // The recording of a session whose application quit is not kept; there is nobody to
    // tell should discarding it fail.
    static_cast<void>(endLocked(std::nullopt));
    return message;
}

void SessionManager::scanTarget() { adoptScan(scanner_->scan()); }

void SessionManager::adoptScan(ScanResult scan) {
    lastScan_ = std::make_shared<const ScanResult>(std::move(scan));
    publish();
}

void SessionManager::publish() {
    auto [targetBefore, before] = published_.withLocked([&](Published& published) {
        return Published{std::exchange(published.target, targetApp_), std::exchange(published.scan, lastScan_)};
    });
    if (onElementToolsChanged_ && elementToolNames(before.get()) != elementToolNames(lastScan_.get()))
        onElementToolsChanged_();
    if (onTargetChanged_ && !sameProcess(targetBefore, targetApp_)) onTargetChanged_(targetName(targetApp_));
}

void SessionManager::setOnElementToolsChanged(std::function<void()> callback) {
    std::lock_guard guard(mutex_);
    onElementToolsChanged_ = std::move(callback);
}

void SessionManager::setReservedToolNames(std::vector<std::string> names) {
    std::lock_guard guard(mutex_);
    reservedToolNames_ = std::move(names);
}

void SessionManager::setOnSessionStarted(std::function<void()> callback) {
    std::lock_guard guard(mutex_);
    onSessionStarted_ = std::move(callback);
}

void SessionManager::setOnTargetChanged(std::function<void(const std::string&)> callback) {
    std::lock_guard guard(mutex_);
    onTargetChanged_ = std::move(callback);
    if (onTargetChanged_) onTargetChanged_(targetName(targetApp_));
}

Result<json> SessionManager::getState() {
    std::lock_guard guard(mutex_);
    if (!active()) return fail("no active session. Call session_start first.");
    if (auto gone = endIfGone()) return fail(*gone);
    scanTarget();
    if (auto gone = endIfGone()) return fail(*gone);
    lastSeen_ = seenState(*lastScan_);
    return stateResponse(*lastScan_, *targetApp_);
}

Result<json> SessionManager::getStateDiff() {
    std::lock_guard guard(mutex_);
    if (!active()) return fail("no active session");
    return rescanForDiff();
}

Result<json> SessionManager::rescanForDiff() {
    if (auto gone = endIfGone()) return fail(*gone);
    scanTarget();
    // A scan of an application that quit while it was read would pass for "no windows".
    if (auto gone = endIfGone()) return fail(*gone);
    return diffResponse(*lastScan_, lastSeen_);
}

Result<json> SessionManager::performAction(const std::string& toolName, const json& args, const ActionTaken& taken) {
    std::lock_guard guard(mutex_);
    if (!active() || !lastScan_) return fail("no active session");
    if (auto gone = endIfGone()) return fail(*gone);
    const auto& elements = lastScan_->elements;
    auto it = std::find_if(elements.begin(), elements.end(),
                           [&](const ScannedElement& element) { return element.toolName == toolName; });
    if (it == elements.end())
        return fail("element '" + toolName + "' not found. Call get_page_info to refresh.");

    ScannedElement element = *it;
    actions_.awaitEnabled(element);
    accessibility_.followChanges(targetApp_->pid);
    auto done = actions_.perform(element, args, targetApp_->pid);
    if (!done) {
        // An application that ends on the press may end before it answers the action.
        if (auto ended = endedByAction(toolName, taken)) return *ended;
        return fail(done.error());
    }
    // Read before the rescan replaces the element.
    const bool sayRoute = done->route.has_value() && !element.elementRef->pressAwaitsAnswer();
    const std::string title = element.title;
    // Scanned while the settle waits out its quiet: the scan that saw the settled interface
    // is the one answered.
    std::optional<ScanResult> settled;
    accessibility_.awaitSettled(targetApp_->pid, [&] { settled = scanner_->scan(); });
    // A scan of an application that quit while it was read would pass for "no windows".
    if (auto ended = endedByAction(toolName, taken)) return *ended;
    adoptScan(settled ? std::move(*settled) : scanner_->scan());
    // The last window closed: an application on its way out (a form that submits and quits)
    // gets a little longer before its windowless state is believed.
    if (lastScan_->windowless) {
        auto deadline = std::chrono::steady_clock::now() + kExitGrace;
        while (applications_.isRunning(*targetApp_) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(kExitPoll);
        if (auto ended = endedByAction(toolName, taken)) return *ended;
    }
    if (taken) taken(lastScan_->windowTitle, static_cast<int64_t>(lastScan_->elements.size()));
    json response = diffResponse(*lastScan_, lastSeen_);
    if (done->scrolledIntoView) response["scrolled_into_view"] = true;
    if (done->selected) response["selected"] = title;
    if (done->chosen) response["chosen"] = outside_text::label(*done->chosen);
    if (sayRoute) {
        switch (*done->route) {
            case ElementActions::PressRoute::pointer: response["pressed_by"] = "pointer click"; break;
            case ElementActions::PressRoute::keyboard: response["pressed_by"] = "space key on the focused element"; break;
            case ElementActions::PressRoute::action:
                response["pressed_by"] = "accessibility action (sent without waiting for the application)";
                break;
        }
    }
    return response;
}

std::optional<json> SessionManager::endedByAction(const std::string& toolName, const ActionTaken& taken) {
    if (applications_.isRunning(*targetApp_)) return std::nullopt;
    std::string app = outside_text::label(targetName(targetApp_));
    json answer = {{"status", "performed"}, {"tool", toolName}, {"app_ended", app}, {"session", "ended"}};
    std::string how = app + " ended";
    if (auto end = applications_.howItEnded(*targetApp_)) {
        answer[end->bySignal ? "signal" : "exit_status"] = end->code;
        how += (end->bySignal ? " on signal " : " with exit status ") + std::to_string(end->code);
    }
    answer["message"] = how + " after " + toolName +
                        ", and the session ended with it. session_end with save_as keeps the steps recorded so far; "
                        "session_start works with another application.";
    Log::info("session", how + " after " + toolName);
    // The step was carried out: it belongs to the recording, which stays open for
    // session_end to save or discard.
    if (taken) taken(lastScan_ ? lastScan_->windowTitle : "", 0);
    dropTarget();
    return answer;
}

Result<json> SessionManager::activateTarget() {
    std::lock_guard guard(mutex_);
    if (!active()) return fail("no active session");
    if (auto gone = endIfGone()) return fail(*gone);
    accessibility_.followChanges(targetApp_->pid);
    if (auto activated = applications_.activate(targetApp_->pid); !activated) return fail(activated.error());
    accessibility_.awaitSettled(targetApp_->pid, {});
    return rescanForDiff();
}

json SessionManager::listApps() {
    json apps = json::array();
    for (const auto& app : applications_.regularApplications()) {
        apps.push_back({{"name", outside_text::label(app.name.value_or("(unknown)"))},
                        {"bundle_id", outside_text::label(app.bundleId.value_or(""))},
                        {"pid", std::to_string(app.pid)}});
    }
    return apps;
}

std::optional<int32_t> SessionManager::targetPid() {
    return published_.withLocked([](const Published& published) -> std::optional<int32_t> {
        if (!published.target) return std::nullopt;
        return published.target->pid;
    });
}

Result<int32_t> SessionManager::liveTarget() {
    auto target = published_.withLocked([](const Published& published) { return published.target; });
    if (!target) return fail("no active session");
    if (applications_.isRunning(*target)) return target->pid;
    std::lock_guard guard(mutex_);
    // Another call may have ended or replaced the session meanwhile.
    if (!targetApp_) return fail("no active session");
    if (auto gone = endIfGone()) return fail(*gone);
    return targetApp_->pid;
}

bool SessionManager::hasElementTool(const std::string& toolName) {
    auto scan = published_.withLocked([](const Published& published) { return published.scan; });
    return scan && std::any_of(scan->elements.begin(), scan->elements.end(),
                               [&](const ScannedElement& element) { return element.toolName == toolName; });
}

std::vector<ScannedElement> SessionManager::elementTools() {
    auto scan = published_.withLocked([](const Published& published) { return published.scan; });
    if (!scan) return {};
    return scan->elements;
}

}  // namespace velmor::automation
