#pragma once

#include <string>

namespace velmor::platform {

// Which kind of desktop session this process runs in, and what told.
struct SessionChoice {
    enum class Kind { x11, wayland } kind = Kind::x11;
    std::string reason;
};

// A Wayland session when WAYLAND_DISPLAY is set or XDG_SESSION_TYPE says wayland (X11 apps
// then run under XWayland and are reached through the compositor as well); an X11 session
// otherwise. The arguments are those variables' values, null when unset.
SessionChoice chooseSession(const char* waylandDisplay, const char* sessionType);

}  // namespace velmor::platform
