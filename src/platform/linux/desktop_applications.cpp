#include "platform/linux/desktop_applications.h"

#include "platform/linux/process_identity.h"
#include "platform/linux/x11_windows.h"

#include <X11/Xatom.h>
#include <unistd.h>

#include <map>

namespace velmor::platform {

namespace {

std::optional<std::string> bundleIdOf(X11Connection& x11, const std::vector<Window>& windows) {
    for (Window window : windows) {
        if (auto id = x11.utf8String(window, "_GTK_APPLICATION_ID"); id && !id->empty()) return id;
    }
    for (Window window : windows) {
        auto names = x11.strings(window, XA_WM_CLASS);
        if (names.size() >= 2 && !names[1].empty()) return names[1];
    }
    return std::nullopt;
}

}  // namespace

Result<void> DesktopApplications::reachable() {
    auto reason = x11_.withLocked([](X11Connection& x11) { return x11.unavailable(); });
    if (!reason) reason = bus_.withLocked([](AtspiConnection& atspi) { return atspi.unavailable(); });
    if (reason) return fail(*reason);
    return succeeded();
}

std::vector<RunningApplication> DesktopApplications::regularApplications() {
    std::vector<AtspiApplicationEntry> entries = bus_.withLocked([](AtspiConnection& atspi) { return atspi.applications(true); });
    return x11_.withLocked([&](X11Connection& x11) {
        std::vector<RunningApplication> applications;
        if (!x11.display()) return applications;
        std::map<int32_t, std::vector<Window>> windowsByPid;
        for (Window window : clientWindows(x11, false)) {
            if (auto pid = windowPid(x11, window)) windowsByPid[*pid].push_back(window);
        }
        const int32_t self = getpid();
        for (auto& entry : entries) {
            auto windows = windowsByPid.find(entry.pid);
            // This process is a menu-bar agent, never a target, like any process without a window.
            if (entry.pid == self || windows == windowsByPid.end()) continue;
            auto bundleId = bundleIdOf(x11, windows->second);
            if (!bundleId) bundleId = executableName(entry.pid);
            auto started = processStart(entry.pid);
            if (!started) continue;  // quit since it was listed
            applications.push_back({std::move(entry.name), std::move(bundleId), entry.pid, *started});
        }
        return applications;
    });
}

Result<void> DesktopApplications::activate(int32_t pid) {
    x11_.withLocked([&](X11Connection& x11) {
        Display* display = x11.display();
        if (!display) return;
        // The application's front window is the topmost of its windows.
        std::optional<Window> front;
        for (Window window : clientWindows(x11, true)) {
            if (windowPid(x11, window) == pid) front = window;
        }
        if (!front) return;

        if (x11.cardinal(x11.root(), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW)) {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = *front;
            event.xclient.message_type = x11.atom("_NET_ACTIVE_WINDOW");
            event.xclient.format = 32;
            event.xclient.data.l[0] = 2;  // a request from a pager: the user asked for it
            event.xclient.data.l[1] = CurrentTime;
            XSendEvent(display, x11.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        } else {
            XRaiseWindow(display, *front);
            XSetInputFocus(display, *front, RevertToParent, CurrentTime);
        }
        XFlush(display);
    });
    return succeeded();
}

bool DesktopApplications::isRunning(const RunningApplication& application) {
    return processStart(application.pid) == application.started;
}

std::optional<ProcessEnd> DesktopApplications::howItEnded(const RunningApplication& application) {
    return processEnd(application.pid, application.started);
}

}  // namespace velmor::platform
