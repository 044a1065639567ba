#include "platform/linux/gnome_clipboard.h"

namespace velmor::platform {

Result<std::string> GnomeClipboard::text() { return session_.clipboardText(); }

Result<void> GnomeClipboard::setText(const std::string& text) { return session_.setClipboardText(text); }

}  // namespace velmor::platform
