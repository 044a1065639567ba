#pragma once

#include "base/result.h"
#include "platform/linux/private_bus.h"
#include "platform/linux/remote_desktop.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace velmor::platform {

// mutter's remote desktop: a org.gnome.Mutter.RemoteDesktop session with a linked
// org.gnome.Mutter.ScreenCast stream of the primary monitor, so that input and screen frames
// come from one session. mutter ends the session when the D-Bus connection that made it
// closes, so the connection is Velmor's own (PrivateBus) and lives as long as the session.
//
// The session's clipboard is the desktop's: mutter lets a remote desktop session read the
// clipboard and offer contents of its own, which it then asks the session for whenever an
// application pastes.
//
// Threads: every use of the connection holds the session's lock; the connection is used by
// no one else. Once Velmor has offered clipboard contents, a thread of the session's own
// answers mutter's requests for them (under the same lock). A session that mutter ended (it
// restarted, or closed it) is made afresh on the next call.
class MutterSession final : public RemoteDesktop {
public:
    // Whether mutter's RemoteDesktop service answers on the session bus; the reason when not.
    static std::optional<std::string> unreachable();

    Result<MutterStream> stream() override;
    // All events are sent before the first answer is awaited: one round trip for them all.
    Result<void> notify(const std::vector<InputEvent>& events) override;

    // The clipboard's text (UTF-8), as the application that holds it gives it; empty when it
    // holds no text. Fails with the reason.
    Result<std::string> clipboardText();
    // Offers `text` as the clipboard's contents, until another application copies something.
    Result<void> setClipboardText(const std::string& text);

private:
    Result<MutterStream> startLocked();
    Result<void> startedLocked();
    void closeLocked();
    // Handles what mutter sent unasked: requests for the clipboard contents Velmor offers,
    // news of the clipboard's owner, the session's end; the rest is dropped.
    void handleSignalsLocked();
    void transferLocked(uint32_t serial);
    // The clipboard thread: waits for mutter's messages and handles them.
    void serve(std::stop_token stop);

    std::mutex mutex_;  // the session's lock: guards bus_ and all below; the *Locked members run under it
    PrivateBus bus_;
    std::string session_;  // the RemoteDesktop session's object path; empty when none
    MutterStream stream_;
    bool clipboardEnabled_ = false;
    std::string offered_;  // the clipboard text Velmor offers
    bool ownsClipboard_ = false;
    std::jthread server_;  // last: stops before the rest goes
};

}  // namespace velmor::platform
