#pragma once

#include <string>

typedef struct _GtkWidget GtkWidget;

// The look the shell's windows share: text styles, sections, cards and code blocks.
namespace velmor::shell {

inline constexpr const char* kGreen = "#2e9e4f";
inline constexpr const char* kOrange = "#d9730d";
inline constexpr const char* kRed = "#d1242f";

// Loads the style sheet for the whole application; once, before the first window.
void installShellStyle();

// A wrapped label with a style class ("title", "subtitle", "heading", "body", "card-title",
// "card-text", "footnote", "secondary").
GtkWidget* styledLabel(const std::string& text, const char* styleClass);
// A vertical box that starts with a section heading.
GtkWidget* sectionBox(const std::string& heading);
GtkWidget* framed(GtkWidget* child, const char* styleClass);
GtkWidget* pill(const std::string& name, const std::string& icon);
// Monospaced, selectable text on a tinted background.
GtkWidget* codeBlock(const std::string& text);
GtkWidget* iconLine(const std::string& icon, const std::string& text);
// Sets a label's text in a colour; nullptr leaves the theme's colour.
void setColouredText(GtkWidget* label, const std::string& text, const char* colour);

}  // namespace velmor::shell
