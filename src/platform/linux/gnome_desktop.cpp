#include "platform/linux/gnome_desktop.h"

#include "base/log.h"
#include "platform/linux/accessibility_trust.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_menus.h"
#include "platform/linux/gnome_applications.h"
#include "platform/linux/gnome_clipboard.h"
#include "platform/linux/gnome_windows.h"
#include "platform/linux/mutter_capture.h"
#include "platform/linux/mutter_input.h"
#include "platform/linux/mutter_session.h"
#include "platform/linux/portal_session.h"

#include <unistd.h>

namespace velmor::platform {

namespace {

class GnomeDesktop final : public Desktop {
public:
    explicit GnomeDesktop(MutterAccess access) : access_(access) {
        auto say = [](const std::string& service, const std::string& how) { Log::info("desktop", service + ": " + how); };
        const bool portal = access_ == MutterAccess::portal;
        say("session", "GNOME Wayland (mutter)");
        say("keyboard and pointer", portal ? "the desktop portal's remote desktop session (asked for once per run)"
                                           : "org.gnome.Mutter.RemoteDesktop session");
        say("screenshots and recordings", portal ? "the desktop portal's screen cast through PipeWire (asked for once, "
                                                   "then kept)"
                                                 : "org.gnome.Mutter.ScreenCast stream through PipeWire");
        say("windows", "accessibility frames (mutter tells no client where windows are; element presses use "
                       "accessibility actions, activation mutter's window switcher)");
        say("clipboard", portal ? "none (the desktop portal offers no clipboard)" : "the remote desktop session's clipboard");
        say("accessibility", "AT-SPI");
    }

    DesktopServices& services() override { return services_; }
    bool accessibilityTrusted() override { return platform::accessibilityTrusted(bus_); }
    bool otherApplicationsWindowsVisible() override {
        const int32_t self = static_cast<int32_t>(getpid());
        for (const auto& window : windows_.topLevels())
            if (window.pid != self) return true;
        return false;
    }

private:
    const MutterAccess access_;
    AtspiBus bus_;
    // Through the portal, input and the screen cast are separate sessions: the screen cast's
    // consent can be kept across runs, input's cannot.
    std::unique_ptr<MutterSession> mutter_ = access_ == MutterAccess::direct ? std::make_unique<MutterSession>() : nullptr;
    std::unique_ptr<PortalSession> inputPortal_ =
        mutter_ ? nullptr : std::make_unique<PortalSession>(PortalSession::Purpose::input);
    std::unique_ptr<PortalSession> screenPortal_ =
        mutter_ ? nullptr : std::make_unique<PortalSession>(PortalSession::Purpose::screen);
    RemoteDesktop& inputSession_ = mutter_ ? static_cast<RemoteDesktop&>(*mutter_) : *inputPortal_;
    RemoteDesktop& screenSession_ = mutter_ ? static_cast<RemoteDesktop&>(*mutter_) : *screenPortal_;
    GnomeWindows windows_{bus_, screenSession_};
    // Extents are measured from a window's origin, which mutter keeps to itself: no element
    // has a known place on screen.
    const AtspiSessionRules rules_{.windowOrigin = [](int32_t, const std::string&) -> std::optional<Frame> { return std::nullopt; },
                                   .focusedWindowName = nullptr,
                                   .awaitPressAnswer = false};
    AtspiAccessibility accessibility_{bus_, rules_};
    MutterInput input_{inputSession_};
    GnomeApplications applications_{bus_, windows_, input_};
    std::unique_ptr<Clipboard> clipboard_ =
        mutter_ ? std::unique_ptr<Clipboard>(std::make_unique<GnomeClipboard>(*mutter_)) : std::make_unique<PortalClipboard>();
    MutterScreenFrames frames_{screenSession_};
    MutterCapture capture_{screenSession_, frames_, windows_};
    AtspiMenus menus_{bus_, input_, rules_};
    DesktopServices services_{accessibility_, applications_, windows_, input_, *clipboard_, capture_, menus_, &frames_};
};

}  // namespace

std::unique_ptr<Desktop> openGnomeDesktop(MutterAccess access) { return std::make_unique<GnomeDesktop>(access); }

}  // namespace velmor::platform
