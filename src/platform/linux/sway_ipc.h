#pragma once

#include "base/result.h"
#include "platform/windows.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// A window as sway's layout tree describes it.
struct SwayWindow {
    uint64_t id = 0;  // sway's container id; grows with each new window
    int32_t pid = 0;
    std::optional<std::string> title;
    std::optional<std::string> appId;  // the Wayland app id, or the X11 class under XWayland
    Frame frame;
    bool focused = false;
    bool visible = false;
    bool xwayland = false;  // an X11 client under XWayland, which knows where its window is
};

// sway's IPC socket: the layout with each window's process and geometry, and commands.
// Each request opens a connection of its own, so any thread may ask. Answers are bounded in
// time (2 s) and size (16 MiB).
class SwayIpc {
public:
    // $SWAYSOCK, else the one socket sway made in $XDG_RUNTIME_DIR; nothing when there is none
    // (another compositor).
    static std::optional<std::string> findSocket();

    explicit SwayIpc(std::string socket) : socket_(std::move(socket)) {}

    // The application windows, in the order they were opened.
    Result<std::vector<SwayWindow>> windows();
    // The whole layout's rectangle.
    Result<Frame> layout();
    // Runs sway commands ("[pid=42] focus"); fails with sway's own words when one fails.
    Result<void> command(const std::string& commands);

private:
    Result<nlohmann::json> request(uint32_t type, const std::string& payload);

    std::string socket_;
};

}  // namespace velmor::platform
