#include "platform/linux/session_choice.h"

namespace velmor::platform {

SessionChoice chooseSession(const char* waylandDisplay, const char* sessionType) {
    if (waylandDisplay && *waylandDisplay)
        return {SessionChoice::Kind::wayland, std::string("WAYLAND_DISPLAY is set (") + waylandDisplay + ")"};
    if (sessionType && std::string(sessionType) == "wayland")
        return {SessionChoice::Kind::wayland, "XDG_SESSION_TYPE is wayland"};
    return {SessionChoice::Kind::x11, "no Wayland session (neither WAYLAND_DISPLAY nor XDG_SESSION_TYPE=wayland)"};
}

}  // namespace velmor::platform
