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

#include <unistd.h>

namespace velmor::platform {

namespace {

class GnomeDesktop final : public Desktop {
public:
    GnomeDesktop() {
        auto say = [](const std::string& service, const std::string& how) { Log::info("desktop", service + ": " + how); };
        say("session", "GNOME Wayland (mutter)");
        say("keyboard and pointer", "org.gnome.Mutter.RemoteDesktop session");
        say("screenshots and recordings", "org.gnome.Mutter.ScreenCast stream through PipeWire");
        say("windows", "accessibility frames (mutter tells no client where windows are; element presses use "
                       "accessibility actions, activation mutter's window switcher)");
        say("clipboard", "the remote desktop session's clipboard");
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
    AtspiBus bus_;
    MutterSession session_;
    GnomeWindows windows_{bus_, session_};
    // Extents are measured from a window's origin, which mutter keeps to itself: no element
    // has a known place on screen.
    const AtspiSessionRules rules_{.windowOrigin = [](int32_t, const std::string&) -> std::optional<Frame> { return std::nullopt; },
                                   .focusedWindowName = nullptr,
                                   .awaitPressAnswer = false};
    AtspiAccessibility accessibility_{bus_, rules_};
    MutterInput input_{session_};
    GnomeApplications applications_{bus_, windows_, input_};
    GnomeClipboard clipboard_{session_};
    MutterScreenFrames frames_{session_};
    MutterCapture capture_{frames_, windows_};
    AtspiMenus menus_{bus_, input_, rules_};
    DesktopServices services_{accessibility_, applications_, windows_, input_, clipboard_, capture_, menus_, &frames_};
};

}  // namespace

std::unique_ptr<Desktop> openGnomeDesktop() { return std::make_unique<GnomeDesktop>(); }

}  // namespace velmor::platform
