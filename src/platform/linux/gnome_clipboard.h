#pragma once

#include "platform/clipboard.h"

namespace velmor::platform {

// The clipboard in a GNOME Wayland session: mutter hands the clipboard only to the window
// that has the keyboard focus and offers no data-control protocol, so a program without a
// focused window of its own can neither read nor set it.
class GnomeClipboard final : public Clipboard {
public:
    std::string text() override { return {}; }
    Result<void> setText(const std::string& text) override;
};

// Why the clipboard cannot be used, for the tool answers.
extern const char* const kGnomeClipboardUnavailable;

}  // namespace velmor::platform
