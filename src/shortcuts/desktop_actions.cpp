#include "shortcuts/desktop_actions.h"

#include "base/child_run.h"
#include "shortcuts/detached_process.h"

#include <gio/gdesktopappinfo.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <iterator>
#include <memory>
#include <unistd.h>

namespace velmor::shortcuts {

namespace {

using namespace std::chrono_literals;

constexpr int kNotifyTimeoutMs = 5000;
constexpr guint kAskTimeoutSeconds = 300;

std::string takeError(GError* error) {
    std::string message = error && error->message ? error->message : "unknown error";
    if (error) g_error_free(error);
    return message;
}

// GTK once per process, on the display of the environment.
Result<void> desktopUp() {
    static const bool up = [] {
        g_set_prgname("velmor-shortcuts");
        return gtk_init_check(nullptr, nullptr) != FALSE;
    }();
    if (!up) return fail("there is no desktop display to use");
    return succeeded();
}

std::string selfProgram() {
    char path[4096];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : "velmor-shortcuts";
}

struct Asked {
    std::string text;
    bool answered = false;
    GMainLoop* loop = nullptr;
};

void onAnswer(GtkDialog* dialog, gint response, gpointer data) {
    auto* asked = static_cast<Asked*>(data);
    if (response == GTK_RESPONSE_OK) {
        asked->text = gtk_entry_get_text(GTK_ENTRY(g_object_get_data(G_OBJECT(dialog), "entry")));
        asked->answered = true;
    }
    g_main_loop_quit(asked->loop);
}

gboolean onAskTimeout(gpointer data) {
    g_main_loop_quit(static_cast<Asked*>(data)->loop);
    return G_SOURCE_REMOVE;
}

void serveClipboardText(GtkClipboard*, GtkSelectionData* selection, guint, gpointer text) {
    gtk_selection_data_set_text(selection, static_cast<const std::string*>(text)->c_str(), -1);
}

// Someone else copied: nothing of ours is left to serve.
void clipboardTaken(GtkClipboard*, gpointer) { gtk_main_quit(); }

GAppInfo* findApplication(const std::string& idOrName) {
    std::string id = idOrName.ends_with(".desktop") ? idOrName : idOrName + ".desktop";
    if (GDesktopAppInfo* byId = g_desktop_app_info_new(id.c_str())) return G_APP_INFO(byId);
    gchar* wanted = g_utf8_casefold(idOrName.c_str(), -1);
    GAppInfo* found = nullptr;
    GList* all = g_app_info_get_all();
    for (GList* it = all; it && !found; it = it->next) {
        auto* info = static_cast<GAppInfo*>(it->data);
        gchar* name = g_utf8_casefold(g_app_info_get_name(info), -1);
        if (g_strcmp0(name, wanted) == 0) found = G_APP_INFO(g_object_ref(info));
        g_free(name);
    }
    g_list_free_full(all, g_object_unref);
    g_free(wanted);
    return found;
}

}  // namespace

Result<void> sendNotification(const std::string& title, const std::string& body) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) return fail("no desktop notification service: " + takeError(error));
    GVariantBuilder actions, hints;
    g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
        "Notify",
        g_variant_new("(susssasa{sv}i)", "velmor-shortcuts", 0u, "", title.c_str(), body.c_str(), &actions, &hints, -1),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, kNotifyTimeoutMs, nullptr, &error);
    g_object_unref(bus);
    if (!reply) return fail("no desktop notification service: " + takeError(error));
    g_variant_unref(reply);
    return succeeded();
}

Result<std::string> askForText(const std::string& prompt) {
    if (auto up = desktopUp(); !up) return fail("cannot ask for input: " + up.error());
    GtkWidget* dialog = gtk_dialog_new_with_buttons("Shortcut", nullptr, GTK_DIALOG_MODAL, "Cancel",
                                                    GTK_RESPONSE_CANCEL, "OK", GTK_RESPONSE_OK, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_container_set_border_width(GTK_CONTAINER(area), 12);
    gtk_box_set_spacing(GTK_BOX(area), 8);
    gtk_container_add(GTK_CONTAINER(area), gtk_label_new(prompt.c_str()));
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_container_add(GTK_CONTAINER(area), entry);
    g_object_set_data(G_OBJECT(dialog), "entry", entry);
    gtk_widget_show_all(dialog);

    Asked asked;
    asked.loop = g_main_loop_new(nullptr, FALSE);
    g_signal_connect(dialog, "response", G_CALLBACK(onAnswer), &asked);
    g_timeout_add_seconds(kAskTimeoutSeconds, onAskTimeout, &asked);
    g_main_loop_run(asked.loop);
    g_source_remove_by_user_data(&asked);  // the time-out, when it has not fired
    gtk_widget_destroy(dialog);
    while (gtk_events_pending()) gtk_main_iteration();
    g_main_loop_unref(asked.loop);
    if (!asked.answered) return fail("no input was given");
    return asked.text;
}

Result<void> openApplication(const std::string& idOrName) {
    GAppInfo* app = findApplication(idOrName);
    if (!app) return fail("no application " + idOrName + " is installed");
    // The application must not hold this program's output open: whoever runs the shortcut
    // reads that to its end.
    int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    GError* error = nullptr;
    gboolean launched = G_IS_DESKTOP_APP_INFO(app)
                            ? g_desktop_app_info_launch_uris_as_manager_with_fds(
                                  G_DESKTOP_APP_INFO(app), nullptr, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                  nullptr, nullptr, null, null, null, &error)
                            : g_app_info_launch(app, nullptr, nullptr, &error);
    if (null >= 0) ::close(null);
    g_object_unref(app);
    if (!launched) return fail("cannot open " + idOrName + ": " + takeError(error));
    return succeeded();
}

Result<std::string> clipboardText() {
    if (auto up = desktopUp(); !up) return fail("cannot read the clipboard: " + up.error());
    gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    std::string copy = text ? text : "";
    g_free(text);
    return copy;
}

Result<void> setClipboardText(const std::string& text) {
    ChildOutcome kept = runChild({selfProgram(), "keep-clipboard"}, {.input = text}, 30s);
    if (kept.status != 0) return fail("cannot set the clipboard: " + kept.errors);
    return succeeded();
}

int keepClipboard() {
    std::string text(std::istreambuf_iterator<char>(std::cin), {});
    return runDetached(
        [&](StartReport& start) {
            g_set_prgname("velmor-shortcuts");
            if (!gtk_init_check(nullptr, nullptr)) {
                start.failed("there is no desktop display to use");
                return;
            }
            GtkTargetList* list = gtk_target_list_new(nullptr, 0);
            gtk_target_list_add_text_targets(list, 0);
            gint count = 0;
            GtkTargetEntry* targets = gtk_target_table_new_from_list(list, &count);
            gboolean owned = gtk_clipboard_set_with_data(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), targets,
                                                         static_cast<guint>(count), serveClipboardText,
                                                         clipboardTaken, &text);
            gtk_target_table_free(targets, count);
            gtk_target_list_unref(list);
            if (!owned) {
                start.failed("the clipboard cannot be taken");
                return;
            }
            while (gtk_events_pending()) gtk_main_iteration();
            start.ready();
            gtk_main();
        },
        10s);
}

}  // namespace velmor::shortcuts
