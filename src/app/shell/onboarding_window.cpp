#include "app/shell/onboarding_window.h"

#include "app/shell/client_config.h"
#include "app/shell/main_loop.h"
#include "app/shell/shell_style.h"
#include "app/user_defaults.h"
#include "base/client_entry.h"
#include "base/log.h"

#include <algorithm>
#include <string_view>
#include <gtk/gtk.h>
#include <thread>

namespace velmor::shell {

namespace {

constexpr const char* kCopy = "  Copy  ";
constexpr const char* kCopied = "  Copied!  ";
constexpr const char* kGrantAll = "  Grant All Permissions  ";
constexpr const char* kWaiting = "  Waiting for permissions...  ";
constexpr const char* kAllGranted = "  All Permissions Granted  ";
constexpr const char* kNotYet = "Not yet";

struct Client {
    const char* name;
    const char* icon;
};
constexpr Client kClients[] = {{"Claude Code", "utilities-terminal-symbolic"},
                               {"Claude Desktop", "user-available-symbolic"},
                               {"Cursor", "input-mouse-symbolic"},
                               {"ChatGPT", "mail-unread-symbolic"},
                               {"Codex", "starred-symbolic"}};

// Turns the desktop's accessibility on for this session (the bus's switch, which
// applications read when they start) and for GNOME applications (their setting).
void enableDesktopAccessibility() {
    if (GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
        g_dbus_connection_call(session, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                               g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)),
                               nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr, nullptr);
        g_object_unref(session);
    }
    const gchar* argv[] = {"gsettings", "set", "org.gnome.desktop.interface", "toolkit-accessibility", "true",
                           nullptr};
    g_spawn_async(nullptr, const_cast<gchar**>(argv), nullptr,
                  static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                           G_SPAWN_STDERR_TO_DEV_NULL),
                  nullptr, nullptr, nullptr, nullptr);
}

// What a card says while it is not green: what the user can do about it, where the guide
// knows, since "Not yet" alone suggests that waiting helps.
std::string missingText(const std::string& key, const PermissionStates& states, uint16_t devToolsPort) {
    if (key == "browser") return "start Chromium with --remote-debugging-port=" + std::to_string(devToolsPort);
    if (key == "menus") return states.accessibility ? "open an application" : "needs Accessibility";
    return kNotYet;
}

// The guide's height: as designed where the screen has room, else the height of the
// monitor's work area (what panels leave), so that the window and its Done button fit.
int guideHeight() {
    constexpr int kDesigned = 720;
    constexpr int kWindowFrame = 40;  // the window manager's title bar and borders
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
    if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return kDesigned;
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    return std::max(200, std::min(kDesigned, area.height - kWindowFrame));
}

GtkWidget* cardIcon(const std::string& name) {
    GtkWidget* icon = gtk_image_new_from_icon_name(name.c_str(), GTK_ICON_SIZE_DND);
    gtk_image_set_pixel_size(GTK_IMAGE(icon), 24);
    return icon;
}

}  // namespace

OnboardingWindow::OnboardingWindow(std::string defaultsFile, platform::Desktop& desktop, uint16_t devToolsPort)
    : defaultsFile_(std::move(defaultsFile)), desktop_(desktop), devToolsPort_(devToolsPort) {}

void OnboardingWindow::showIfNeeded() {
    if (!UserDefaults(defaultsFile_).boolean(kOnboardingCompleteKey)) {
        show();
        return;
    }
    std::thread([this] {
        bool needed = !checkPermissions(desktop_, devToolsPort_).allRequiredGranted();
        if (needed) onMainThread([this] { show(); });
    }).detach();
}

void OnboardingWindow::show() {
    if (window_) {
        gtk_window_present(GTK_WINDOW(window_));
        return;
    }
    build();
    gtk_widget_show_all(window_);
    for (auto& [key, card] : cards_) gtk_widget_hide(card.grantedIcon);
    gtk_widget_hide(grantNote_);
    gtk_window_present(GTK_WINDOW(window_));
    ++generation_;
    refresh();
    timer_ = g_timeout_add_seconds(1, +[](gpointer self) -> gboolean {
        static_cast<OnboardingWindow*>(self)->refresh();
        return G_SOURCE_CONTINUE;
    }, this);
}

void OnboardingWindow::build() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), "Velmor Setup Guide");
    gtk_window_set_default_size(GTK_WINDOW(window_), 520, guideHeight());
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
    g_signal_connect_swapped(window_, "destroy", G_CALLBACK(+[](OnboardingWindow* self) { self->closed(); }), this);

    GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_container_set_border_width(GTK_CONTAINER(content), 20);
    gtk_box_pack_start(GTK_BOX(content), styledLabel("Say Hello to Velmor", "title"), false, false, 0);
    GtkWidget* subtitle =
        styledLabel("AI-powered desktop control, browser automation,\nand narrated demo recording.", "subtitle");
    gtk_label_set_justify(GTK_LABEL(subtitle), GTK_JUSTIFY_CENTER);
    gtk_box_pack_start(GTK_BOX(content), subtitle, false, false, 0);
    gtk_box_pack_start(GTK_BOX(content), connectSection(), false, false, 0);
    gtk_box_pack_start(GTK_BOX(content), permissionSection(), false, false, 0);
    gtk_box_pack_start(GTK_BOX(content), browserSection(), false, false, 0);

    // The sections scroll where the screen is too small for them; Done and the footer stay
    // below them, always in view.
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scrolled), content);

    GtkWidget* doneButton = gtk_button_new_with_label("  Done  ");
    gtk_widget_set_halign(doneButton, GTK_ALIGN_CENTER);
    g_signal_connect_swapped(doneButton, "clicked", G_CALLBACK(+[](OnboardingWindow* self) { self->done(); }), this);
    GtkWidget* bottom = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_container_set_border_width(GTK_CONTAINER(bottom), 10);
    gtk_box_pack_start(GTK_BOX(bottom), doneButton, false, false, 0);
    gtk_box_pack_start(GTK_BOX(bottom),
                       styledLabel("Voice setup and other settings available from the tray menu  ›  Settings",
                                   "footnote"),
                       false, false, 0);

    GtkWidget* layout = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(layout), scrolled, true, true, 0);
    gtk_box_pack_start(GTK_BOX(layout), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), false, false, 0);
    gtk_box_pack_start(GTK_BOX(layout), bottom, false, false, 0);
    gtk_container_add(GTK_CONTAINER(window_), layout);
}

GtkWidget* OnboardingWindow::connectSection() {
    GtkWidget* section = sectionBox("1. Connect to Your AI");
    gtk_box_pack_start(GTK_BOX(section), styledLabel("Add this MCP to your AI agent's config:", "body"), false, false, 0);

    GtkWidget* pills = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    for (const Client& client : kClients) gtk_box_pack_start(GTK_BOX(pills), pill(client.name, client.icon), false, false, 0);
    gtk_box_pack_start(GTK_BOX(section), pills, false, false, 0);

    GtkWidget* code = codeBlock(clientEntry(bridgePath()));
    copyButton_ = gtk_button_new_with_label(kCopy);
    gtk_widget_set_valign(copyButton_, GTK_ALIGN_START);
    g_signal_connect_swapped(copyButton_, "clicked", G_CALLBACK(+[](OnboardingWindow* self) { self->copyConfig(); }),
                             this);
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_box_pack_start(GTK_BOX(row), code, true, true, 0);
    gtk_box_pack_start(GTK_BOX(row), copyButton_, false, false, 0);
    gtk_box_pack_start(GTK_BOX(section), row, false, false, 0);
    return section;
}

GtkWidget* OnboardingWindow::permissionSection() {
    GtkWidget* section = sectionBox("2. Grant Permissions");
    for (const Permission& permission : permissions()) {
        Card card;
        card.dot = gtk_label_new("●");
        card.state = gtk_label_new(kNotYet);
        card.grantedIcon = gtk_image_new_from_icon_name("emblem-ok-symbolic", GTK_ICON_SIZE_BUTTON);
        GtkWidget* text = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
        gtk_box_pack_start(GTK_BOX(text), styledLabel(permission.name, "card-title"), false, false, 0);
        gtk_box_pack_start(GTK_BOX(text), styledLabel(permission.description, "card-text"), false, false, 0);

        GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10);
        gtk_box_pack_start(GTK_BOX(row), cardIcon(permission.icon),
                           false, false, 0);
        gtk_box_pack_start(GTK_BOX(row), text, true, true, 0);
        gtk_box_pack_start(GTK_BOX(row), card.dot, false, false, 0);
        gtk_box_pack_start(GTK_BOX(row), card.state, false, false, 0);
        gtk_box_pack_start(GTK_BOX(row), card.grantedIcon, false, false, 0);
        gtk_box_pack_start(GTK_BOX(section), framed(row, "card"), false, false, 0);
        cards_[permission.key] = card;
    }
    startButton_ = gtk_button_new_with_label(kGrantAll);
    gtk_widget_set_halign(startButton_, GTK_ALIGN_CENTER);
    g_signal_connect_swapped(startButton_, "clicked", G_CALLBACK(+[](OnboardingWindow* self) { self->grantAll(); }),
                             this);
    gtk_box_pack_start(GTK_BOX(section), startButton_, false, false, 4);
    grantNote_ = styledLabel(
        std::string("Accessibility is now on for this desktop session. Applications started from now on publish "
                    "their windows and menus; restart the ones that are already open. For browser control, start "
                    "Chromium or Chrome with: ") + browserCommand(),
        "card-text");
    gtk_box_pack_start(GTK_BOX(section), grantNote_, false, false, 0);
    return section;
}

GtkWidget* OnboardingWindow::browserSection() {
    GtkWidget* section = sectionBox("3. Browser Setup");
    gtk_box_pack_start(GTK_BOX(section),
                       iconLine("dialog-information-symbolic", "Firefox and other browsers — not controlled; use Chromium or Chrome"),
                       false, false, 0);
    gtk_box_pack_start(GTK_BOX(section),
                       iconLine("preferences-system-symbolic", "Chromium or Chrome — start it with remote debugging:"), false,
                       false, 0);
    gtk_box_pack_start(GTK_BOX(section), codeBlock(browserCommand()), false, false, 0);
    return section;
}

std::string OnboardingWindow::browserCommand() const {
    return "chromium --remote-debugging-port=" + std::to_string(devToolsPort_);
}

void OnboardingWindow::copyConfig() {
    copyToClipboard(clientEntry(bridgePath()));
    gtk_button_set_label(GTK_BUTTON(copyButton_), kCopied);
    const unsigned opening = generation_;
    after(1500, [this, opening] {
        if (window_ && opening == generation_) gtk_button_set_label(GTK_BUTTON(copyButton_), kCopy);
    });
}

void OnboardingWindow::grantAll() {
    enableDesktopAccessibility();
    gtk_widget_show(grantNote_);
    gtk_button_set_label(GTK_BUTTON(startButton_), kWaiting);
    gtk_widget_set_sensitive(startButton_, false);
}

void OnboardingWindow::refresh() {
    if (checking_) return;
    checking_ = true;
    const unsigned opening = generation_;
    std::thread([this, opening] {
        PermissionStates states = checkPermissions(desktop_, devToolsPort_);
        onMainThread([this, opening, states] {
            checking_ = false;
            if (window_ && opening == generation_) apply(states);
        });
    }).detach();
}

void OnboardingWindow::apply(const PermissionStates& states) {
    for (auto& [key, card] : cards_) {
        const bool granted = states.granted(key);
        const char* colour = granted ? kGreen : kOrange;
        setColouredText(card.dot, "●", colour);
        setColouredText(card.state, granted ? "Granted" : missingText(key, states, devToolsPort_), colour);
        gtk_widget_set_visible(card.grantedIcon, granted);
    }
    if (states.allGranted()) {
        gtk_button_set_label(GTK_BUTTON(startButton_), kAllGranted);
        gtk_widget_set_sensitive(startButton_, false);
    } else if (gtk_button_get_label(GTK_BUTTON(startButton_)) == std::string_view(kAllGranted)) {
        // A card turned orange again (the browser closed, say): the claim goes with it.
        gtk_button_set_label(GTK_BUTTON(startButton_), kGrantAll);
        gtk_widget_set_sensitive(startButton_, true);
    }
}

void OnboardingWindow::done() {
    // The guide closes either way; it only comes back at the next start.
    if (auto stored = UserDefaults(defaultsFile_).setBoolean(kOnboardingCompleteKey, true); !stored)
        Log::error("shell", "Could not remember that the setup guide was done: " + stored.error());
    gtk_widget_destroy(window_);
}

void OnboardingWindow::closed() {
    if (timer_) g_source_remove(timer_);
    timer_ = 0;
    window_ = nullptr;
    cards_.clear();
    ++generation_;
}

}  // namespace velmor::shell
