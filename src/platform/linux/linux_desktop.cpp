#include "platform/desktop.h"

#include "platform/linux/accessibility_trust.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_menus.h"
#include "base/log.h"
#include "platform/linux/desktop_applications.h"
#include "platform/linux/gnome_desktop.h"
#include "platform/linux/mutter_session.h"
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
    AtspiAccessibility accessibility_{bus_};
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
        auto notMutter = MutterSession::unreachable();
        if (!notMutter) {
            Log::info("desktop", "GNOME backends: " + session.reason + ", and mutter's RemoteDesktop service is on the session bus");
            return openGnomeDesktop();
        }
        Log::info("desktop", "Wayland backends: " + session.reason + " (not GNOME: " + *notMutter + ")");
        return openWlrootsDesktop();
    }
    Log::info("desktop", "X11 backends (XTest, EWMH, X selections, X captures): " + session.reason);
    return std::make_unique<LinuxDesktop>();
}

}  // namespace velmor::platform
