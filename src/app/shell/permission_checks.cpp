#include "app/shell/permission_checks.h"

#include "browser/devtools_client.h"

namespace velmor::shell {

namespace {

bool devToolsAnswers(uint16_t port) {
    browser::DevToolsLimits limits;
    limits.connect = std::chrono::milliseconds(500);
    limits.answer = std::chrono::milliseconds(500);
    return browser::ChromiumDevTools("127.0.0.1", port, limits).listPages().ok();
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

PermissionStates checkPermissions(platform::Desktop& desktop, uint16_t devToolsPort) {
    PermissionStates states;
    states.accessibility = desktop.accessibilityTrusted();
    states.browser = devToolsAnswers(devToolsPort);
    states.menus = states.accessibility && !desktop.services().applications.regularApplications().empty();
    states.screenCapture = desktop.otherApplicationsWindowsVisible();
    return states;
}

}  // namespace velmor::shell
