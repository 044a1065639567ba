#pragma once

#include "browser/browser_session_manager.h"

#include <string>
#include <string_view>

namespace velmor::browser {

// What a listener knows about the peer of one connection.
struct PagePeer {
    enum class Role {
        Unauthenticated,  // may only authenticate or subscribe
        Page,             // proved the nonce of a page Velmor injected
        Subscriber,       // the bridge: subscribed to tool changes with the bearer token
    };

    std::string sessionId;
    std::string handshakeOrigin;  // the Origin header of the WebSocket handshake, empty when none
    Role role = Role::Unauthenticated;
};

enum class PeerVerdict { KeepOpen, Close };

// Handles one frame that arrived on the peer's connection: parses it and hands it to the
// registry. Frames that are not a JSON object with a string "type" (or nest too deeply) are
// dropped without a word; a field of the wrong JSON type counts as missing. Until the peer
// authenticated, everything but "session_auth" and "subscribe_tools_changed" is dropped; a
// failed attempt at either answers Close.
PeerVerdict processPageMessage(std::string_view frame, PagePeer& peer, BrowserSessionManager& sessions);

}  // namespace velmor::browser
