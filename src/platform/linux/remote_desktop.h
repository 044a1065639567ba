#pragma once

#include "base/result.h"
#include "platform/windows.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmor::platform {

// The monitor stream of a started remote desktop or screen cast session: where PipeWire
// delivers its frames, and the monitor's place on the screen (pointer positions are given
// within it).
struct MutterStream {
    std::string path;  // the stream's object path (mutter's own service); empty through the portal
    uint32_t node = 0; // its PipeWire node
    Frame monitor;
    // A fresh connection to the PipeWire daemon that may see the node (a file descriptor the
    // caller owns); null when the user's own daemon is reached directly.
    std::function<Result<int>()> openPipewire;
};

// One event of a remote desktop session's keyboard or pointer.
struct InputEvent {
    enum class Kind { key, motion, button, axis };
    Kind kind = Kind::key;
    uint32_t code = 0;  // key: the key symbol; button: the evdev code; axis: 0 vertical, 1 horizontal
    bool down = false;  // key and button
    int32_t steps = 0;  // axis: notches
    int x = 0, y = 0;   // motion: on the screen
};

// The Notify* method that sends `event`, by the name both mutter's service and the portal give it.
const char* notifyMethodOf(const InputEvent& event);

// A point of the screen as a place within the stream's monitor, kept inside it.
std::pair<double, double> pointWithin(const Frame& monitor, int x, int y);

// mutter's remote desktop, reached directly or through the desktop portal (whose GNOME
// backend hands the same calls on to mutter after asking the user).
class RemoteDesktop {
public:
    virtual ~RemoteDesktop() = default;
    // Starts the session when it is not running yet; its stream, or why there is none.
    virtual Result<MutterStream> stream() = 0;
    // Sends the events so that they arrive in order; the session is started first when needed.
    virtual Result<void> notify(const std::vector<InputEvent>& events) = 0;
};

}  // namespace velmor::platform
