#include "platform/linux/wayland_desktop.h"

#include "base/log.h"
#include "platform/linux/accessibility_trust.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_menus.h"
#include "platform/linux/sway_windows.h"
#include "platform/linux/toplevel_windows.h"
#include "platform/linux/wayland_applications.h"
#include "platform/linux/wayland_capture.h"
#include "platform/linux/wayland_client.h"
#include "platform/linux/wayland_clipboard.h"
#include "platform/linux/wayland_input.h"

#include <unistd.h>

namespace velmor::platform {

namespace {

// sway's IPC where it answers: it tells every window's process and place. Else the
// compositor's list of toplevels, which tells neither; else nothing.
std::unique_ptr<WlrootsWindows> openWindows(WaylandClient& wayland, AtspiBus& bus) {
    if (auto socket = SwayIpc::findSocket()) {
        auto answers = SwayIpc(*socket).answers();
        if (answers) return std::make_unique<SwayWindows>(*socket);
        Log::info("desktop", "sway's IPC socket " + *socket + " does not answer: " + answers.error());
    }
    bool toplevels = false;
    (void)wayland.run([&](WaylandConnection& c) { toplevels = c.offers("zwlr_foreign_toplevel_manager_v1"); });
    if (toplevels) return std::make_unique<ToplevelWindows>(wayland, bus);
    return std::make_unique<UntoldWindows>();
}

class WlrootsDesktop final : public Desktop {
public:
    WlrootsDesktop() { logServices(); }

    DesktopServices& services() override { return services_; }
    bool accessibilityTrusted() override { return platform::accessibilityTrusted(bus_); }
    bool otherApplicationsWindowsVisible() override {
        const int32_t self = static_cast<int32_t>(getpid());
        for (const auto& window : windows_->all())
            if (window.pid != self) return true;
        return false;
    }

private:
    // Says, once, which way each service goes in this session and what is missing.
    void logServices() {
        auto say = [](const std::string& service, const std::string& how) { Log::info("desktop", service + ": " + how); };
        say("session", "Wayland (wlroots protocols)");
        bool keyboard = false, pointer = false, screencopy = false, clipboard = false;
        if (auto reason = wayland_.run([&](WaylandConnection& c) {
                keyboard = c.offers("zwp_virtual_keyboard_manager_v1");
                pointer = c.offers("zwlr_virtual_pointer_manager_v1");
                screencopy = c.offers("zwlr_screencopy_manager_v1");
                clipboard = c.offers("zwlr_data_control_manager_v1");
            })) {
            say("desktop", "unavailable: " + *reason);
            return;
        }
        auto offered = [](bool yes, const char* protocol) {
            return std::string(protocol) + (yes ? "" : " (not offered by this compositor: unavailable)");
        };
        say("keyboard", offered(keyboard, "zwp_virtual_keyboard_v1"));
        say("pointer", offered(pointer, "zwlr_virtual_pointer_v1"));
        say("screenshots", offered(screencopy, "zwlr_screencopy_v1"));
        say("clipboard", offered(clipboard, "zwlr_data_control_v1"));
        say("windows", windows_->source());
        say("accessibility", "AT-SPI");
    }

    AtspiBus bus_;
    WaylandClient wayland_;
    std::unique_ptr<WlrootsWindows> windows_ = openWindows(wayland_, bus_);
    const AtspiSessionRules rules_{.windowOrigin = [this](int32_t pid, const std::string& name) { return windows_->extentsOrigin(pid, name); },
               .focusedWindowName = [this](int32_t pid) -> std::optional<std::string> {
                   if (auto window = windows_->focusedWindowOf(pid)) return window->title;
                   return std::nullopt;
               },
               .awaitPressAnswer = false};
    AtspiAccessibility accessibility_{bus_, rules_};
    WaylandApplications applications_{bus_, wayland_, *windows_};
    WaylandInput input_{wayland_};
    WaylandClipboard clipboard_{wayland_};
    WaylandCapture capture_{wayland_, *windows_};
    WaylandScreenFrames frames_{wayland_};
    AtspiMenus menus_{bus_, input_, rules_};
    DesktopServices services_{accessibility_, applications_, *windows_, input_, clipboard_, capture_, menus_, &frames_};
};

}  // namespace

std::unique_ptr<Desktop> openWlrootsDesktop() { return std::make_unique<WlrootsDesktop>(); }

}  // namespace velmor::platform
