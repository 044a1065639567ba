#pragma once

#include "platform/linux/private_bus.h"
#include "platform/linux/remote_desktop.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// mutter's remote desktop or screen cast through the desktop portal
// (org.freedesktop.portal.RemoteDesktop / .ScreenCast), which asks the user before it
// starts a session. The dialog is answered whenever the user gets to it, so nothing waits
// for it: the first call asks, and until the answer comes every call says at once that
// consent is pending and what to allow. A refusal is said once; the call after it asks again.
//
// Input sessions cannot outlive Velmor's connection, so input is asked for once per run.
// A screen cast's consent is kept: the portal's restore token lives in
// ~/.local/share/velmor/screen-cast-token (0600) and the next run starts without a dialog;
// a token the portal no longer honours makes it ask again, and the new token replaces it.
//
// The portal ends a session when the D-Bus connection that made it closes, so the
// connection is the session's own (PrivateBus). Threads: every use of it holds mutex_ (the
// stream's openPipewire, called by the frame reader, takes it too).
class PortalSession final : public RemoteDesktop {
public:
    enum class Purpose { input, screen };
    explicit PortalSession(Purpose purpose) : purpose_(purpose) {}

    // Whether the portal offers remote desktop and screen cast sessions; the reason when not.
    static std::optional<std::string> unreachable();

    Result<MutterStream> stream() override;
    Result<void> notify(const std::vector<InputEvent>& events) override;

private:
    enum class State { idle, asking, started };
    // Moves the session on as far as it goes without the user: a session asked for when idle,
    // the user's answer taken when it has come. Fails with what the caller is to be told.
    Result<void> advanceLocked();
    Result<void> askLocked();
    Result<void> answeredLocked(uint32_t response, DBusMessage* results);
    void closeLocked();
    // A PipeWire connection that sees the screen cast's node: one per connection made, for
    // the session `session` alone (an ended one gives none).
    Result<int> openPipewire(const std::string& session);
    // What this session is for, in the user's words.
    std::string what() const;
    // What the user chooses in the dialog to allow it.
    std::string howToAllow() const;

    const Purpose purpose_;
    std::mutex mutex_;  // the session's lock: guards bus_ and all below; the *Locked members run under it
    PrivateBus bus_;
    State state_ = State::idle;
    std::string session_;  // the portal's session handle
    std::string request_;  // the Start request whose answer is awaited
    MutterStream stream_;
};

}  // namespace velmor::platform
