#include "app/shell/tray.h"

#include "base/client_entry.h"
#include "base/log.h"
#include "app/shell/autostart.h"
#include "app/shell/client_config.h"
#include "app/shell/main_loop.h"
#include "app/shell/update_advice.h"

#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

namespace velmor::shell {

namespace {

constexpr const char* kIcon = "velmor";
constexpr const char* kCopiedIcon = "velmor-copied";
constexpr unsigned kCopiedFlashMs = 1500;

GtkWidget* addItem(GtkWidget* menu, const std::string& title, bool enabled = false) {
    GtkWidget* item = gtk_menu_item_new_with_label(title.c_str());
    gtk_widget_set_sensitive(item, enabled);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    return item;
}

void addSeparator(GtkWidget* menu) { gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new()); }

std::string accessibilityLine(bool granted) {
    return std::string("Accessibility: ") + (granted ? "Granted" : "Not Granted");
}

std::string targetLine(const std::string& target) {
    return "Target: " + (target.empty() ? std::string("None") : target);
}

template <typename Handler>
void onActivate(GtkWidget* item, Handler* handler) {
    g_signal_connect_swapped(item, "activate", G_CALLBACK(+[](Handler* h) { (*h)(); }), handler);
}

// A message in a window of its own, answered without a nested loop: it goes away when its
// button is pressed.
void tellUser(GtkMessageType type, const char* title, const char* message, const std::string& detail) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, type, GTK_BUTTONS_OK, "%s", message);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", detail.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), title);
    g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace

Tray::Tray(const TrayStatus& status, TrayActions actions, std::string iconDirectory) : actions_(std::move(actions)) {
    // No keyboard shortcuts: a tray menu has no window that could take them, so showing
    // some would promise what never happens.
    GtkWidget* menu = gtk_menu_new();

    addItem(menu, "Velmor");
    addSeparator(menu);
    addItem(menu, "MCP: 127.0.0.1:" + std::to_string(status.mcpPort));
    addItem(menu, "WebSocket: 127.0.0.1:" + std::to_string(status.wsPort));
    accessibilityItem_ = addItem(menu, accessibilityLine(status.accessibilityGranted));
    addSeparator(menu);
    targetItem_ = addItem(menu, targetLine(""));
    addSeparator(menu);

    GtkWidget* copy = addItem(menu, "Copy MCP Config", true);
    g_signal_connect_swapped(copy, "activate", G_CALLBACK(+[](Tray* tray) { tray->copyMcpConfig(); }), this);

    onActivate(addItem(menu, "Settings…", true), &actions_.showSettings);

    onActivate(addItem(menu, "Setup Guide…", true), &actions_.showOnboarding);

    atLogin_ = gtk_check_menu_item_new_with_label("Start at Login");
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(atLogin_), startsAtLogin());
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), atLogin_);
    g_signal_connect(atLogin_, "toggled", G_CALLBACK(+[](GtkCheckMenuItem* item, Tray* tray) {
                         tray->setStartAtLogin(gtk_check_menu_item_get_active(item));
                     }),
                     this);

    GtkWidget* updates = addItem(menu, "Check for Updates…", true);
    g_signal_connect_swapped(updates, "activate", G_CALLBACK(+[](Tray* tray) { tray->checkForUpdates(); }), this);
    addSeparator(menu);

    onActivate(addItem(menu, "Quit Velmor", true), &actions_.quit);
    gtk_widget_show_all(menu);

    indicator_ = app_indicator_new("velmor", kIcon, APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
    app_indicator_set_icon_theme_path(indicator_, iconDirectory.c_str());
    app_indicator_set_title(indicator_, "Velmor");
    app_indicator_set_menu(indicator_, GTK_MENU(menu));
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_ACTIVE);
}

void Tray::setTarget(const std::string& target) {
    gtk_menu_item_set_label(GTK_MENU_ITEM(targetItem_), targetLine(target).c_str());
}

void Tray::setAccessibilityGranted(bool granted) {
    const std::string line = accessibilityLine(granted);
    // Setting an unchanged label would still tell the tray host the menu changed.
    if (line != gtk_menu_item_get_label(GTK_MENU_ITEM(accessibilityItem_)))
        gtk_menu_item_set_label(GTK_MENU_ITEM(accessibilityItem_), line.c_str());
}

void Tray::copyMcpConfig() {
    copyToClipboard(clientEntry(bridgePath()));
    // A tray icon has no title to flash; its icon (and label, where the tray shows one)
    // confirms the copy instead.
    ++flashes_;
    app_indicator_set_icon_full(indicator_, kCopiedIcon, "Copied");
    app_indicator_set_label(indicator_, "✓", "✓");
    after(kCopiedFlashMs, [this] {
        if (--flashes_ > 0) return;
        app_indicator_set_icon_full(indicator_, kIcon, "Velmor");
        app_indicator_set_label(indicator_, "", "");
    });
}

void Tray::checkForUpdates() {
    UpdateAdvice advice = updateAdvice(programDirectory());
    tellUser(GTK_MESSAGE_INFO, "Check for Updates", advice.headline.c_str(), advice.detail);
}

void Tray::setStartAtLogin(bool enabled) {
    if (reverting_) return;
    auto outcome = shell::setStartAtLogin(enabled, programDirectory() + "/velmor");
    if (outcome.ok()) return;
    Log::error("app", outcome.error());
    // The check mark shows what happens at login, not what was asked for.
    reverting_ = true;
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(atLogin_), startsAtLogin());
    reverting_ = false;
    tellUser(GTK_MESSAGE_ERROR, "Start at Login", "Velmor could not change Start at Login", outcome.error());
}

}  // namespace velmor::shell
