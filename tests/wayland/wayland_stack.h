#pragma once

#include <string>

namespace velmor::test {

// Why this process is not on the Wayland test desktop; empty once it is. The desktop's
// environment (VELMOR_WAYLAND_STACK/environment, written by scripts/wayland-stack-up.sh) is
// taken over before the first test, so the desktop opened later is the Wayland one: sway, or
// weston in a test built with VELMOR_WAYLAND_ON_WESTON.
const std::string& waylandStackMissing();

}  // namespace velmor::test
