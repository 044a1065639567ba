#include "platform/linux/gnome_clipboard.h"

namespace velmor::platform {

Result<std::string> GnomeClipboard::text() { return session_.clipboardText(); }

Result<void> GnomeClipboard::setText(const std::string& text) { return session_.setClipboardText(text); }

namespace {

const char* const kNoPortalClipboard =
    "the clipboard is out of reach: Velmor reaches this GNOME session through the desktop portal, which offers no "
    "clipboard to a background program (unset VELMOR_GNOME_PORTAL where mutter's own services answer)";

}  // namespace

Result<std::string> PortalClipboard::text() { return fail(kNoPortalClipboard); }

Result<void> PortalClipboard::setText(const std::string&) { return fail(kNoPortalClipboard); }

}  // namespace velmor::platform
