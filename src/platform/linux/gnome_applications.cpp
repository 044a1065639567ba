#include "platform/linux/gnome_applications.h"

#include "base/log.h"
#include "platform/linux/mutter_session.h"
#include "platform/linux/process_identity.h"

#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>

namespace velmor::platform {

namespace {

// mutter hands the focus over within a frame or two; a window slow to say so is not waited
// for beyond this per switch.
constexpr auto kSwitchSettle = std::chrono::milliseconds(400);
constexpr auto kSwitchPoll = std::chrono::milliseconds(20);

}  // namespace

Result<void> GnomeApplications::reachable() {
    if (auto reason = bus_.withLocked([](AtspiConnection& atspi) { return atspi.unavailable(); })) return fail(*reason);
    if (auto reason = MutterSession::unreachable()) return fail(*reason);
    return succeeded();
}

std::vector<RunningApplication> GnomeApplications::regularApplications() {
    std::vector<AtspiApplicationEntry> entries = bus_.withLocked([](AtspiConnection& atspi) { return atspi.applications(true); });
    std::set<int32_t> withWindows;
    for (const auto& window : windows_.topLevels()) withWindows.insert(window.pid);
    const int32_t self = getpid();
    std::vector<RunningApplication> applications;
    for (auto& entry : entries) {
        if (entry.pid == self || !withWindows.count(entry.pid)) continue;
        auto started = processStart(entry.pid);
        if (!started) continue;
        applications.push_back({std::move(entry.name), executableName(entry.pid), entry.pid, *started});
    }
    return applications;
}

Result<void> GnomeApplications::activate(int32_t pid) {
    if (windows_.focusedWindowOf(pid)) return succeeded();
    // Each switch brings the least recently used window forward, so every window comes
    // round once within as many switches as there are windows.
    const size_t windows = windows_.topLevels().size();
    for (size_t turn = 0; turn < windows; ++turn) {
        if (auto pressed = input_.pressKey(NamedKey::tab, {.shift = true, .alt = true}); !pressed) {
            Log::error("gnome", "Activating process " + std::to_string(pid) + " failed: " + pressed.error());
            return pressed;
        }
        auto deadline = std::chrono::steady_clock::now() + kSwitchSettle;
        while (std::chrono::steady_clock::now() < deadline) {
            if (windows_.focusedWindowOf(pid)) return succeeded();
            std::this_thread::sleep_for(kSwitchPoll);
        }
    }
    const std::string why = "mutter's window switcher never reached its window";
    Log::error("gnome", "Activating process " + std::to_string(pid) + " failed: " + why);
    return fail(why);
}

bool GnomeApplications::isRunning(const RunningApplication& application) {
    return processStart(application.pid) == application.started;
}

std::optional<ProcessEnd> GnomeApplications::howItEnded(const RunningApplication& application) {
    return processEnd(application.pid, application.started);
}

}  // namespace velmor::platform
