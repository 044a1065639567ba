#pragma once

#include "platform/clipboard.h"
#include "platform/linux/mutter_session.h"

namespace velmor::platform {

// The clipboard in a GNOME Wayland session, through mutter's remote desktop session (mutter
// hands the clipboard to no other background program).
class GnomeClipboard final : public Clipboard {
public:
    explicit GnomeClipboard(MutterSession& session) : session_(session) {}

    Result<std::string> text() override;
    Result<void> setText(const std::string& text) override;

private:
    MutterSession& session_;
};

// The clipboard where mutter is reached through the desktop portal alone: the portal offers
// a background program none, so both ways answer why.
class PortalClipboard final : public Clipboard {
public:
    Result<std::string> text() override;
    Result<void> setText(const std::string& text) override;
};

}  // namespace velmor::platform
