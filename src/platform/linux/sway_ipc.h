#pragma once

#include "base/result.h"
#include "platform/linux/wlroots_windows.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

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
    Result<std::vector<CompositorWindow>> windows();
    // Whether sway answers on the socket; fails with the reason.
    Result<void> answers();
    // The whole layout's rectangle.
    Result<Frame> layout();
    // Runs sway commands ("[pid=42] focus"); fails with sway's own words when one fails.
    Result<void> command(const std::string& commands);

private:
    Result<nlohmann::json> request(uint32_t type, const std::string& payload);

    std::string socket_;
};

}  // namespace velmor::platform
