#include "automation/session_manager.h"

#include "app/log.h"
#include "automation/element_action.h"
#include "automation/text.h"
#include "platform/linux/linux_desktop.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

namespace velmor::automation {

using nlohmann::json;

namespace {

// What an application needs to show the effect of an action before it is scanned again.
constexpr auto kSettleDelay = std::chrono::milliseconds(300);

json errorResult(const std::string& message) { return {{"error", message}}; }

const platform::RunningApplication* findApplication(const std::vector<platform::RunningApplication>& apps,
                                                    const std::optional<std::string>& appName,
                                                    const std::optional<std::string>& bundleId) {
    // A bundle identifier decides alone, even when nothing has it.
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
std::set<std::string> elementToolNames(const std::optional<ScanResult>& scan) {
    std::set<std::string> names;
    if (scan) {
        for (const auto& element : scan->elements) names.insert(element.toolName);
    }
    return names;
}

}  // namespace

SessionManager& SessionManager::shared() {
    static auto* session = new SessionManager(platform::linuxDesktop().accessibility,
                                              platform::linuxDesktop().applications, flows::FlowStore::shared());
    return *session;
}

SessionManager::SessionManager(platform::Accessibility& accessibility, platform::Applications& applications,
                               flows::FlowStore& flows)
    : accessibility_(accessibility), applications_(applications), flows_(flows) {}

json SessionManager::startSession(const std::optional<std::string>& appName,
                                  const std::optional<std::string>& bundleId) {
    std::lock_guard guard(mutex_);
    if ((!appName || appName->empty()) && (!bundleId || bundleId->empty()))
        return errorResult("provide app_name or bundle_id");
    if (auto reason = applications_.unavailable()) return errorResult("desktop not available: " + *reason);

    auto apps = applications_.regularApplications();
    const platform::RunningApplication* match = findApplication(apps, appName, bundleId);
    if (!match) {
        std::string names;
        for (const auto& app : apps) {
            if (app.name) names += (names.empty() ? "" : ", ") + *app.name;
        }
        return errorResult("app not found. Running apps: " + names);
    }

    // A session already running is replaced; its recording is left to the flow store,
    // which abandons it when the new one begins.
    targetApp_ = *match;
    scanner_.emplace(accessibility_, match->pid);
    applications_.activate(match->pid);
    accessibility_.prepare(match->pid);
    std::this_thread::sleep_for(kSettleDelay);
    publishScan(scanner_->scan());

    Log::info("session", "Started session: " + targetApp_->name.value_or("?") + " (pid " +
                             std::to_string(targetApp_->pid) + ", " + std::to_string(lastScan_->elements.size()) +
                             " elements)");
    flows_.beginRecording(targetApp_->name.value_or(""), targetApp_->bundleId);
    previousTools_ = stateToolStates(*lastScan_);
    return stateResponse(*lastScan_, *targetApp_);
}

json SessionManager::endSession(const std::optional<std::string>& saveName) {
    std::lock_guard guard(mutex_);
    std::string app = targetApp_ && targetApp_->name ? *targetApp_->name : "none";
    json flow = flows_.endRecording(saveName);
    // previousTools_ stays: the next state response rebuilds it.
    targetApp_.reset();
    scanner_.reset();
    publishScan(std::nullopt);
    return {{"status", "ended"}, {"app", app}, {"flow", std::move(flow)}};
}

json SessionManager::getState() {
    std::lock_guard guard(mutex_);
    if (!active()) return errorResult("no active session. Call session_start first.");
    publishScan(scanner_->scan());
    previousTools_ = stateToolStates(*lastScan_);
    return stateResponse(*lastScan_, *targetApp_);
}

json SessionManager::getStateDiff() {
    std::lock_guard guard(mutex_);
    if (!active()) return errorResult("no active session");
    return rescanForDiff();
}

json SessionManager::rescanForDiff() {
    publishScan(scanner_->scan());
    return diffResponse(*lastScan_, previousTools_);
}

json SessionManager::performAction(const std::string& toolName, const json& args) {
    std::lock_guard guard(mutex_);
    if (!active() || !lastScan_) return errorResult("no active session");
    const auto& elements = lastScan_->elements;
    auto it = std::find_if(elements.begin(), elements.end(),
                           [&](const AXElement& element) { return element.toolName == toolName; });
    if (it == elements.end())
        return errorResult("element '" + toolName + "' not found. Call get_page_info to refresh.");

    if (auto error = performElementAction(*it, args)) return errorResult(*error);
    std::this_thread::sleep_for(kSettleDelay);
    publishScan(scanner_->scan());
    flows_.recordStep(toolName, args, lastScan_->windowTitle, static_cast<int64_t>(lastScan_->elements.size()));
    return diffResponse(*lastScan_, previousTools_);
}

json SessionManager::activateTarget() {
    std::lock_guard guard(mutex_);
    if (!active()) return errorResult("no active session");
    applications_.activate(targetApp_->pid);
    std::this_thread::sleep_for(kSettleDelay);
    return rescanForDiff();
}

json SessionManager::listApps() {
    json apps = json::array();
    for (const auto& app : applications_.regularApplications()) {
        apps.push_back({{"name", app.name.value_or("(unknown)")},
                        {"bundle_id", app.bundleId.value_or("")},
                        {"pid", std::to_string(app.pid)}});
    }
    return apps;
}

std::optional<int32_t> SessionManager::targetPid() {
    std::lock_guard guard(mutex_);
    if (!targetApp_) return std::nullopt;
    return targetApp_->pid;
}

void SessionManager::setOnElementToolsChanged(std::function<void()> callback) {
    std::lock_guard guard(mutex_);
    onElementToolsChanged_ = std::move(callback);
}

void SessionManager::publishScan(std::optional<ScanResult> scan) {
    bool namesChanged = elementToolNames(lastScan_) != elementToolNames(scan);
    lastScan_ = std::move(scan);
    if (namesChanged && onElementToolsChanged_) onElementToolsChanged_();
}

std::vector<AXElement> SessionManager::elementTools() {
    std::lock_guard guard(mutex_);
    if (!lastScan_) return {};
    return lastScan_->elements;
}

}  // namespace velmor::automation
