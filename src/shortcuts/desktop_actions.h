#pragma once

#include "base/result.h"

#include <string>

namespace velmor::shortcuts {

// The desktop's services as a running shortcut uses them. Each one is bounded in time.

// A notification through the desktop's notification service (org.freedesktop.Notifications).
Result<void> sendNotification(const std::string& title, const std::string& body);

// Asks the user for text in a dialog; fails when cancelled or left unanswered.
Result<std::string> askForText(const std::string& prompt);

// Starts an application by its desktop-file id ("org.gnome.Calculator", with or without
// ".desktop") or by its name as menus show it, ignoring case.
Result<void> openApplication(const std::string& idOrName);

// The CLIPBOARD selection's text.
Result<std::string> clipboardText();

// Puts text on the CLIPBOARD selection through `velmor-shortcuts keep-clipboard`, which
// keeps serving it after this process is gone, until something else is copied.
Result<void> setClipboardText(const std::string& text);

// `velmor-shortcuts keep-clipboard`: takes standard input onto the clipboard and serves it
// from a detached process; 0 once the text is on the clipboard.
int keepClipboard();

}  // namespace velmor::shortcuts
