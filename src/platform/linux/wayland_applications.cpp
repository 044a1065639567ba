#include "platform/linux/wayland_applications.h"

#include "base/log.h"
#include "platform/linux/process_identity.h"

#include <unistd.h>

#include <map>

namespace velmor::platform {

Result<void> WaylandApplications::reachable() {
    auto reason = wayland_.unavailable();
    if (!reason) reason = bus_.withLocked([](AtspiConnection& atspi) { return atspi.unavailable(); });
    if (reason) return fail(*reason);
    return succeeded();
}

std::vector<RunningApplication> WaylandApplications::regularApplications() {
    std::vector<AtspiApplicationEntry> entries = bus_.withLocked([](AtspiConnection& atspi) { return atspi.applications(true); });
    std::vector<CompositorWindow> windows = windows_.all();
    std::map<int32_t, std::optional<std::string>> appIdByPid;
    for (const auto& window : windows) {
        auto& id = appIdByPid[window.pid];
        if (!id) id = window.appId;
    }
    const bool placesKnown = !windows.empty();
    const int32_t self = getpid();
    std::vector<RunningApplication> applications;
    for (auto& entry : entries) {
        auto owned = appIdByPid.find(entry.pid);
        if (entry.pid == self || (placesKnown && owned == appIdByPid.end())) continue;
        std::optional<std::string> bundleId = owned != appIdByPid.end() ? owned->second : std::nullopt;
        if (!bundleId || bundleId->empty()) bundleId = executableName(entry.pid);
        auto started = processStart(entry.pid);
        if (!started) continue;
        applications.push_back({std::move(entry.name), std::move(bundleId), entry.pid, *started});
    }
    return applications;
}

Result<void> WaylandApplications::activate(int32_t pid) {
    auto focused = windows_.focus(pid);
    if (!focused) Log::error("wayland", "Activating process " + std::to_string(pid) + " failed: " + focused.error());
    return focused;
}

bool WaylandApplications::isRunning(const RunningApplication& application) {
    return processStart(application.pid) == application.started;
}

std::optional<ProcessEnd> WaylandApplications::howItEnded(const RunningApplication& application) {
    return processEnd(application.pid, application.started);
}

}  // namespace velmor::platform
