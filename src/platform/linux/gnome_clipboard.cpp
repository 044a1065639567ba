#include "platform/linux/gnome_clipboard.h"

namespace velmor::platform {

const char* const kGnomeClipboardUnavailable =
    "GNOME (mutter) gives the clipboard only to the window that has the keyboard focus and offers no "
    "clipboard protocol to other programs; copy and paste with the application's own keys (ctrl+c, ctrl+v) instead";

Result<void> GnomeClipboard::setText(const std::string&) { return fail(kGnomeClipboardUnavailable); }

}  // namespace velmor::platform
