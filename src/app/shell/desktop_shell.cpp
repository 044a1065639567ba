#include "app/shell/desktop_shell.h"

#include "app/shell/client_config.h"
#include "app/shell/main_loop.h"
#include "app/shell/shell_style.h"

#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include <thread>

namespace velmor::shell {

namespace {

constexpr unsigned kAccessibilityCheckSeconds = 3;

}  // namespace

bool openDisplay(int& argc, char**& argv) {
    g_set_prgname("velmor");
    g_set_application_name("Velmor");
    // Threads: GTK's display connection belongs to the main loop; Velmor's own X11
    // connections (platform/linux/x11_display) are opened and used on tool-call threads
    // under their own lock. Xlib shares process-wide state between connections (the error
    // handler, the locale), so it must know about threads before its first call.
    XInitThreads();
    return gtk_init_check(&argc, &argv);
}

DesktopShell::DesktopShell(ShellSettings settings)
    : settings_(std::move(settings)),
      onboarding_(settings_.defaultsFile, *settings_.desktop, settings_.devToolsPort),
      settingsWindow_(*settings_.speech, settings_.sharedConfigFile) {}

void DesktopShell::run() {
    installShellStyle();
    gtk_window_set_default_icon_name("velmor");
    // The icons sit under share/ next to bin/ wherever Velmor is installed (and in the build
    // tree, next to the programs' directory).
    std::string icons = programDirectory() + "/../share/icons/hicolor/64x64/apps";
    gtk_icon_theme_append_search_path(gtk_icon_theme_get_default(), icons.c_str());

    TrayActions actions;
    actions.showOnboarding = [this] { onboarding_.show(); };
    actions.showSettings = [this] { settingsWindow_.show(); };
    actions.quit = settings_.quit;
    tray_ = std::make_unique<Tray>(settings_.status, std::move(actions), icons);
    if (settings_.followTarget)
        settings_.followTarget([tray = tray_.get()](const std::string& target) {
            onMainThread([tray, target] { tray->setTarget(target); });
        });
    followAccessibility();
    onboarding_.showIfNeeded();
    gtk_main();
}

void DesktopShell::followAccessibility() {
    if (!settings_.desktop) return;
    g_timeout_add_seconds(kAccessibilityCheckSeconds, +[](gpointer self) -> gboolean {
        static_cast<DesktopShell*>(self)->checkAccessibility();
        return G_SOURCE_CONTINUE;
    }, this);
}

void DesktopShell::checkAccessibility() {
    if (checkingAccessibility_) return;
    checkingAccessibility_ = true;
    // The check asks D-Bus, which may take its whole timeout: never on the main loop.
    std::thread([this] {
        const bool granted = settings_.desktop->accessibilityTrusted();
        onMainThread([this, granted] {
            checkingAccessibility_ = false;
            tray_->setAccessibilityGranted(granted);
        });
    }).detach();
}

void DesktopShell::requestGuide() {
    if (guideRequested_.exchange(true)) return;
    onMainThread([this] {
        guideRequested_ = false;
        onboarding_.show();
    });
}

}  // namespace velmor::shell
