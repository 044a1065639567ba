#include "app/shell/permission_checks.h"

#include "browser/devtools_client.h"
#include "platform/linux/accessibility_trust.h"
#include "platform/linux/linux_desktop.h"
#include "platform/linux/x11_display.h"
#include "platform/linux/x11_windows.h"

#include <unistd.h>

namespace velmor::shell {

namespace {

bool devToolsAnswers(uint16_t port) {
    browser::DevToolsLimits limits;
    limits.connect = std::chrono::milliseconds(500);
    limits.answer = std::chrono::milliseconds(500);
    auto pages = browser::DevToolsClient("127.0.0.1", port, limits).listPages();
    return std::holds_alternative<std::vector<browser::DevToolsPage>>(pages);
}

// On this desktop, as where it was first built, a capture can read other applications'
// windows exactly when the window list shows them.
bool otherApplicationsWindowsVisible() {
    auto& x11 = platform::X11Display::shared();
    auto lock = x11.lock();
    if (!x11.display()) return false;
    const int32_t self = static_cast<int32_t>(getpid());
    for (Window window : platform::clientWindows(x11, false)) {
        auto pid = platform::windowPid(x11, window);
        if (pid && *pid != self) return true;
    }
    return false;
}

}  // namespace

const std::vector<Permission>& permissions() {
    static const std::vector<Permission> table = {
        {"accessibility", "Accessibility", "input-mouse-symbolic",
         "Click buttons, fill forms, and navigate apps — like a second pair of hands on your desktop."},
        {"browser", "Browser Control", "web-browser-symbolic",
         "Fill forms, click links, and read any page in Chromium and Chrome."},
        {"menus", "App Menus", "open-menu-symbolic",
         "Access any app's menus — File, Edit, View, and everything in between."},
        {"screen_capture", "Screen Capture", "camera-video-symbolic",
         "Record app walkthroughs as MP4. Add narration with your own TTS provider."},
    };
    return table;
}

bool PermissionStates::granted(const std::string& key) const {
    if (key == "accessibility") return accessibility;
    if (key == "browser") return browser;
    if (key == "menus") return menus;
    if (key == "screen_capture") return screenCapture;
    return false;
}

PermissionStates checkPermissions(uint16_t devToolsPort) {
    PermissionStates states;
    states.accessibility = platform::accessibilityTrusted();
    states.browser = devToolsAnswers(devToolsPort);
    states.menus = states.accessibility && !platform::linuxDesktop().applications.regularApplications().empty();
    states.screenCapture = otherApplicationsWindowsVisible();
    return states;
}

}  // namespace velmor::shell
