#include "app/shell/shell_style.h"

#include <gtk/gtk.h>

namespace velmor::shell {

namespace {

constexpr const char* kStyleSheet = R"(
.title { font-size: 20pt; font-weight: bold; }
.subtitle, .secondary, .footnote { color: alpha(currentColor, 0.65); }
.footnote { font-size: 9pt; }
.heading { font-size: 13pt; font-weight: bold; margin-top: 6px; }
.card-title { font-weight: bold; }
.card-text { font-size: 9pt; color: alpha(currentColor, 0.75); }
.card { border: 1px solid alpha(currentColor, 0.15); border-radius: 8px; padding: 4px 10px; }
.pill { border: 1px solid alpha(currentColor, 0.2); border-radius: 12px; padding: 2px 8px; font-size: 9pt; }
.code { font-family: monospace; font-size: 9pt; background-color: alpha(currentColor, 0.06);
        border-radius: 6px; padding: 6px 10px; }
)";

}  // namespace

void installShellStyle() {
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, kStyleSheet, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

GtkWidget* styledLabel(const std::string& text, const char* styleClass) {
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), true);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_style_context_add_class(gtk_widget_get_style_context(label), styleClass);
    if (std::string(styleClass) == "title" || std::string(styleClass) == "subtitle")
        gtk_label_set_xalign(GTK_LABEL(label), 0.5f);
    return label;
}

GtkWidget* sectionBox(const std::string& heading) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_box_pack_start(GTK_BOX(box), styledLabel(heading, "heading"), false, false, 0);
    return box;
}

GtkWidget* framed(GtkWidget* child, const char* styleClass) {
    GtkWidget* frame = gtk_event_box_new();
    gtk_style_context_add_class(gtk_widget_get_style_context(frame), styleClass);
    gtk_container_add(GTK_CONTAINER(frame), child);
    return frame;
}

GtkWidget* pill(const std::string& name, const std::string& icon) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
    gtk_box_pack_start(GTK_BOX(row), gtk_image_new_from_icon_name(icon.c_str(), GTK_ICON_SIZE_MENU), false, false, 0);
    gtk_box_pack_start(GTK_BOX(row), gtk_label_new(name.c_str()), false, false, 0);
    return framed(row, "pill");
}

GtkWidget* codeBlock(const std::string& text) {
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_selectable(GTK_LABEL(label), true);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    return framed(label, "code");
}

GtkWidget* iconLine(const std::string& icon, const std::string& text) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_pack_start(GTK_BOX(row), gtk_image_new_from_icon_name(icon.c_str(), GTK_ICON_SIZE_MENU), false, false, 0);
    gtk_box_pack_start(GTK_BOX(row), styledLabel(text, "body"), true, true, 0);
    return row;
}

void setColouredText(GtkWidget* label, const std::string& text, const char* colour) {
    if (!colour) {
        gtk_label_set_text(GTK_LABEL(label), text.c_str());
        return;
    }
    gchar* escaped = g_markup_escape_text(text.c_str(), -1);
    gchar* markup = g_strdup_printf("<span foreground=\"%s\">%s</span>", colour, escaped);
    gtk_label_set_markup(GTK_LABEL(label), markup);
    g_free(markup);
    g_free(escaped);
}

}  // namespace velmor::shell
