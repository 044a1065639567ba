#include "platform/desktop.h"

#include "platform/linux/accessibility_trust.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_menus.h"
#include "base/log.h"
#include "platform/linux/desktop_applications.h"
#include "platform/linux/gnome_desktop.h"
#include "platform/linux/mutter_session.h"
#include "platform/linux/portal_session.h"
#include "platform/linux/session_choice.h"
#include "platform/linux/wayland_desktop.h"
#include "platform/linux/x11_capture.h"
#include "platform/linux/x11_clipboard.h"
#include "platform/linux/x11_display.h"
#include "platform/linux/x11_input.h"
#include "platform/linux/x11_windows.h"

#include <cstdlib>
#include <unistd.h>

namespace velmor::platform {

namespace {

// A Linux X11 session: AT-SPI for accessibility and menus, EWMH for windows, XTest for
// input, the CLIPBOARD selection, and captures read from the X server. The services share
// one X connection and one accessibility bus connection, each behind its own lock.
class LinuxDesktop final : public Desktop {
public:
    DesktopServices& services() override { return services_; }
    bool accessibilityTrusted() override { return platform::accessibilityTrusted(bus_); }
    bool otherApplicationsWindowsVisible() override {
        return x11_.withLocked([](X11Connection& x11) {
            if (!x11.display()) return false;
            const int32_t self = static_cast<int32_t>(getpid());
            for (Window window : clientWindows(x11, false)) {
                auto pid = windowPid(x11, window);
                if (pid && *pid != self) return true;
            }
            return false;
        });
    }

private:
    AtspiBus bus_;
    X11Display x11_;
    // Asked only once everything is built.
    AtspiAccessibility accessibility_{
        bus_, {.managerFocusedWindowName = [this](int32_t pid) -> std::optional<std::string> {
            auto focused = windows_.focusedWindowOf(pid);
            return focused ? focused->title : std::nullopt;
        }}};
    DesktopApplications applications_{bus_, x11_};
    X11Windows windows_{x11_};
    X11Input input_{x11_};
    X11Clipboard clipboard_{x11_};
    X11Capture capture_{x11_};
    AtspiMenus menus_{bus_, input_};
    DesktopServices services_{accessibility_, applications_, windows_, input_, clipboard_, capture_, menus_};
};

}  // namespace

// The one place that knows which backend serves this process.
std::unique_ptr<Desktop> openDesktop() {
    SessionChoice session = chooseSession(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE"));
    if (session.kind == SessionChoice::Kind::wayland) {
        // The portal asks the user first: chosen where mutter's own services are out of reach
        // (a sandbox, a desktop that keeps them to itself) or where the user wants to be asked.
        const char* wanted = std::getenv("VELMOR_GNOME_PORTAL");
        const bool portalWanted = wanted && std::string(wanted) == "1";
        auto notMutter = MutterSession::unreachable();
        if (!notMutter && !portalWanted) {
            Log::info("desktop", "GNOME backends: " + session.reason + ", and mutter's RemoteDesktop service is on the session bus");
            return openGnomeDesktop(MutterAccess::direct);
        }
        const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
        const bool gnome = desktop && std::string(desktop).find("GNOME") != std::string::npos;
        if (portalWanted || gnome) {
            auto notPortal = PortalSession::unreachable();
            if (!notPortal) {
                Log::info("desktop", "GNOME backends through the desktop portal: " + session.reason + ", " +
                                         (portalWanted ? "VELMOR_GNOME_PORTAL=1" : *notMutter));
                return openGnomeDesktop(MutterAccess::portal);
            }
            Log::info("desktop", "no desktop portal for GNOME: " + *notPortal);
        }
        if (!notMutter) {
            Log::info("desktop", "GNOME backends: " + session.reason + ", mutter's RemoteDesktop service is on the session "
                                 "bus and the desktop portal is not");
            return openGnomeDesktop(MutterAccess::direct);
        }
        Log::info("desktop", "Wayland backends: " + session.reason + " (not GNOME: " + *notMutter + ")");
        return openWlrootsDesktop();
    }
    Log::info("desktop", "X11 backends (XTest, EWMH, X selections, X captures): " + session.reason);
    return std::make_unique<LinuxDesktop>();
}

}  // namespace velmor::platform
