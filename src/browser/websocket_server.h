#pragma once

#include "browser/browser_session_manager.h"

#include <cstdint>
#include <memory>
#include <string>

namespace velmor::browser {

// A page-agent WebSocket listener on 127.0.0.1. Every accepted connection becomes a browser
// session in the registry; the listener only accepts, frames and routes. It runs its own
// I/O thread, so frames keep being read while tool calls block elsewhere.
class WebSocketServer {
public:
    // `identityPath`: the PKCS#12 file of the wss:// identity (unused when serving ws://).
    WebSocketServer(uint16_t port, BrowserSessionManager& sessions, std::string identityPath);
    // Stops listening and ends every connection, whose sessions leave the registry.
    ~WebSocketServer();
    WebSocketServer(const WebSocketServer&) = delete;
    WebSocketServer& operator=(const WebSocketServer&) = delete;

    // Serves wss:// when the identity loads and `forcePlain` is false, ws:// otherwise. A
    // failure is logged and answered false; the application runs on without this listener.
    bool start(bool forcePlain = false);

    // The port actually bound (differs from the requested one when that was 0).
    uint16_t boundPort() const;
    bool usesTls() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmor::browser
