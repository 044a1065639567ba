#include "app/shell/main_loop.h"

#include <gtk/gtk.h>

namespace velmor::shell {

namespace {

gboolean runOnce(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void destroy(gpointer data) { delete static_cast<std::function<void()>*>(data); }

}  // namespace

void onMainThread(std::function<void()> work) {
    g_idle_add_full(G_PRIORITY_DEFAULT, runOnce, new std::function<void()>(std::move(work)), destroy);
}

void after(unsigned milliseconds, std::function<void()> work) {
    g_timeout_add_full(G_PRIORITY_DEFAULT, milliseconds, runOnce, new std::function<void()>(std::move(work)), destroy);
}

void copyToClipboard(const std::string& text) {
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_set_text(clipboard, text.c_str(), static_cast<gint>(text.size()));
    gtk_clipboard_set_can_store(clipboard, nullptr, 0);
}

}  // namespace velmor::shell
