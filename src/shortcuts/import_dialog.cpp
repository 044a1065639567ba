#include "shortcuts/import_dialog.h"

#include "shortcuts/action_words.h"
#include "shortcuts/detached_process.h"
#include "shortcuts/shortcut_file.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

namespace velmor::shortcuts {

namespace {

using namespace std::chrono_literals;

struct Approval {
    const ShortcutLibrary* library;
    std::string name;
    std::string bytes;
    StartReport* start;
};

std::string shortcutNameOf(const std::string& path) {
    std::string file = path.substr(path.find_last_of('/') + 1);
    const std::string suffix = kShortcutSuffix;
    if (file.size() > suffix.size() && file.ends_with(suffix)) file.resize(file.size() - suffix.size());
    return file;
}

GtkWidget* wrappedLabel(const std::string& text) {
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_selectable(GTK_LABEL(label), FALSE);
    return label;
}

void showError(GtkWindow* parent, const std::string& message) {
    GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s",
                                            message.c_str());
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

void onAdd(GtkButton* button, gpointer data) {
    auto* approval = static_cast<Approval*>(data);
    GtkWindow* window = GTK_WINDOW(gtk_widget_get_toplevel(GTK_WIDGET(button)));
    if (auto stored = approval->library->store(approval->name, approval->bytes); !stored)
        showError(window, "The shortcut could not be added: " + stored.error());
    gtk_widget_destroy(GTK_WIDGET(window));
}

void onCancel(GtkButton* button, gpointer) { gtk_widget_destroy(gtk_widget_get_toplevel(GTK_WIDGET(button))); }

gboolean onMapped(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<Approval*>(data)->start->ready();
    return FALSE;
}

GtkWidget* approvalWindow(Approval& approval, const std::vector<ShortcutAction>& actions) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Add Shortcut");
    gtk_window_set_default_size(GTK_WINDOW(window), 480, -1);
    gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
    GtkWidget* layout = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_container_set_border_width(GTK_CONTAINER(layout), 12);
    gtk_container_add(GTK_CONTAINER(window), layout);

    const std::string quotedName = "\u201C" + approval.name + "\u201D";
    gtk_box_pack_start(GTK_BOX(layout), wrappedLabel("Add the shortcut " + quotedName + " to your shortcuts?"), FALSE,
                       FALSE, 0);
    if (approval.library->contains(approval.name))
        gtk_box_pack_start(GTK_BOX(layout),
                           wrappedLabel("A shortcut named " + quotedName + " already exists. Adding replaces it."),
                           FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(layout),
                       wrappedLabel(actions.empty() ? "It has no actions." : "When run, it will:"), FALSE, FALSE, 0);

    GtkWidget* list = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    for (size_t i = 0; i < actions.size(); ++i)
        gtk_box_pack_start(GTK_BOX(list), wrappedLabel(std::to_string(i + 1) + ". " + actionInWords(actions[i])),
                           FALSE, FALSE, 0);
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scroller), TRUE);
    gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scroller), 400);
    gtk_container_add(GTK_CONTAINER(scroller), list);
    gtk_box_pack_start(GTK_BOX(layout), scroller, TRUE, TRUE, 0);

    GtkWidget* buttons = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
    gtk_box_set_spacing(GTK_BOX(buttons), 8);
    GtkWidget* cancel = gtk_button_new_with_label("Cancel");
    GtkWidget* add = gtk_button_new_with_label("Add");
    gtk_container_add(GTK_CONTAINER(buttons), cancel);
    gtk_container_add(GTK_CONTAINER(buttons), add);
    gtk_box_pack_start(GTK_BOX(layout), buttons, FALSE, FALSE, 0);

    g_signal_connect(add, "clicked", G_CALLBACK(onAdd), &approval);
    g_signal_connect(cancel, "clicked", G_CALLBACK(onCancel), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    g_signal_connect(window, "map-event", G_CALLBACK(onMapped), &approval);
    // Nothing is added by default: Enter and Escape do not pick Add.
    gtk_widget_grab_focus(cancel);
    return window;
}

bool haveDesktop() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

}  // namespace

int importWithApproval(const std::string& path, const ShortcutLibrary& library) {
    Result<std::string> bytes = readShortcutBytes(path);
    if (!bytes) {
        std::fprintf(stderr, "cannot import %s: %s\n", path.c_str(), bytes.error().c_str());
        return 1;
    }
    // The dialog shows and adds exactly these bytes, whatever happens to the file meanwhile.
    auto actions = parseShortcutFile(*bytes);
    if (!actions) {
        std::fprintf(stderr, "cannot import %s: %s\n", path.c_str(), actions.error().c_str());
        return 1;
    }
    Approval approval{&library, shortcutNameOf(path), std::move(*bytes), nullptr};
    if (auto valid = checkShortcutName(approval.name); !valid) {
        std::fprintf(stderr, "cannot import %s: %s\n", path.c_str(), valid.error().c_str());
        return 1;
    }
    if (!haveDesktop()) {
        std::fprintf(stderr, "cannot import %s: there is no desktop to ask for approval on (DISPLAY is not set)\n",
                     path.c_str());
        return 1;
    }
    return runDetached(
        [&](StartReport& start) {
            approval.start = &start;
            g_set_prgname("velmor-shortcuts");
            if (!gtk_init_check(nullptr, nullptr)) {
                start.failed("cannot import " + path + ": the desktop's display cannot be opened");
                return;
            }
            gtk_widget_show_all(approvalWindow(approval, *actions));
            gtk_main();
        },
        30s);
}

}  // namespace velmor::shortcuts
