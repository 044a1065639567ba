#pragma once

#include <cstdint>
#include <functional>
#include <string>

typedef struct _AppIndicator AppIndicator;
typedef struct _GtkWidget GtkWidget;

namespace velmor::shell {

// What the menu's status lines show when the menu is built; the "Target:" line follows the
// session through Tray::setTarget, and the "Accessibility:" line the desktop's switch through
// Tray::setAccessibilityGranted.
struct TrayStatus {
    uint16_t mcpPort = 0;
    uint16_t wsPort = 0;
    bool accessibilityGranted = false;
};

struct TrayActions {
    std::function<void()> showSettings;
    std::function<void()> showOnboarding;
    std::function<void()> quit;
};

// Velmor's item in the desktop's tray: an indicator where the desktop hosts them, a
// status icon in the system tray otherwise. Lives on the main loop.
class Tray {
public:
    Tray(const TrayStatus& status, TrayActions actions, std::string iconDirectory);
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    // The "Target:" line: the application under control, empty for none.
    void setTarget(const std::string& target);
    // The "Accessibility:" line: whether the accessibility bus answers with its switch on.
    void setAccessibilityGranted(bool granted);

private:
    void copyMcpConfig();
    void checkForUpdates();
    void setStartAtLogin(bool enabled);

    TrayActions actions_;
    AppIndicator* indicator_ = nullptr;
    GtkWidget* targetItem_ = nullptr;
    GtkWidget* accessibilityItem_ = nullptr;
    GtkWidget* atLogin_ = nullptr;
    bool reverting_ = false;  // the check mark is being put back after a failed change
    unsigned flashes_ = 0;  // copies whose confirmation is still showing
};

}  // namespace velmor::shell
