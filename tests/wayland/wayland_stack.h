#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <string>

namespace velmor::test {

// Why this process is not on the Wayland test desktop; empty once it is. The desktop's
// environment (VELMOR_WAYLAND_STACK/environment, written by scripts/wayland-stack-up.sh) is
// taken over before the first test, so the desktop opened later is the Wayland one: sway, or
// weston in a test built with VELMOR_WAYLAND_ON_WESTON; sway without its IPC socket in one
// built with VELMOR_WAYLAND_WITHOUT_SWAY_IPC.
const std::string& waylandStackMissing();

// sway's answer to an IPC request through its own client (swaymsg), asked on the test
// desktop's socket also where Velmor is kept from it.
nlohmann::json swaymsg(const std::string& arguments);
// The first window in sway's layout that `wanted` picks; null when none does.
nlohmann::json swayWindow(const std::function<bool(const nlohmann::json&)>& wanted);
// The process whose window sway says has the focus; 0 when none.
int32_t focusedPidBySway();

}  // namespace velmor::test
