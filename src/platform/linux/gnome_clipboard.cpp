#include "platform/linux/gnome_clipboard.h"

#include "base/log.h"

namespace velmor::platform {

std::string GnomeClipboard::text() {
    auto text = session_.clipboardText();
    if (text) return std::move(*text);
    Log::error("gnome", "Reading the clipboard failed: " + text.error());
    return {};
}

Result<void> GnomeClipboard::setText(const std::string& text) { return session_.setClipboardText(text); }

}  // namespace velmor::platform
