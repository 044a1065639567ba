#pragma once

#include "app/shell/onboarding_window.h"
#include "app/shell/settings_window.h"
#include "app/shell/tray.h"

#include <atomic>
#include <functional>
#include <memory>

namespace velmor::shell {

// Opens the graphical session for the shell; false when there is no display, and Velmor
// then runs without one. Called on the main thread before any other thread starts.
bool openDisplay(int& argc, char**& argv);

struct ShellSettings {
    TrayStatus status;
    uint16_t devToolsPort = 9222;
    std::string defaultsFile;
    std::string sharedConfigFile;
    media::TTSManager* speech = nullptr;  // the settings window's voice
    platform::Desktop* desktop = nullptr;  // what the guide's checks ask
    std::function<void()> quit;
    // Hands the shell a listener for the name of the application under control (empty:
    // none), told at once and at every change, from any thread.
    std::function<void(std::function<void(const std::string&)>)> followTarget;
};

// The tray item and its windows, on the GTK main loop of the main thread. Tool calls never
// run here, and nothing here waits for them.
class DesktopShell {
public:
    explicit DesktopShell(ShellSettings settings);

    // Shows the tray and, on a first start, the guide; then runs the main loop, which ends
    // only with the process.
    void run();

    // Brings up the setup guide, from any thread (another start of Velmor asked for it).
    // Requests that come while one is on its way to the main loop count once.
    void requestGuide();

private:
    // Keeps the tray's "Accessibility:" line true to the desktop's switch, which the guide, a
    // settings panel or another program may turn after the start.
    void followAccessibility();
    void checkAccessibility();

    std::atomic<bool> guideRequested_{false};
    bool checkingAccessibility_ = false;  // main loop only
    ShellSettings settings_;
    OnboardingWindow onboarding_;
    SettingsWindow settingsWindow_;
    std::unique_ptr<Tray> tray_;
};

}  // namespace velmor::shell
