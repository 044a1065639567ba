#pragma once

#include "base/guarded.h"

#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// The process's own connection to the X server for window management, as the holder of
// the display lock sees it: only X11Display::withLocked hands one out. Errors about windows
// that vanished between two requests are expected and never end the process.
class X11Connection {
public:
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // The connection, opened on first use and again after the server went away; null when
    // there is none, with the reason in unavailable().
    Display* display();
    std::optional<std::string> unavailable();
    Window root();
    Atom atom(const char* name);

    // Property readers: nothing when the window lacks the property or has gone.
    std::vector<unsigned long> cardinals(Window window, const char* property, Atom type);
    std::optional<unsigned long> cardinal(Window window, const char* property, Atom type);
    std::optional<std::string> utf8String(Window window, const char* property);
    // WM_NAME and the like in the legacy Latin-1 encoding, as UTF-8.
    std::optional<std::string> latin1String(Window window, Atom property);
    // The strings of a property that holds several (WM_CLASS).
    std::vector<std::string> strings(Window window, Atom property);

private:
    friend class Guarded<X11Connection>;
    X11Connection() = default;

    Display* display_ = nullptr;
    std::string failure_;
};

// Xlib connections are not thread-safe: the connection is only reached through
// withLocked, which holds the display lock while `use` runs. Whoever also needs the AT-SPI
// bus takes the bus lock first and never the bus lock inside `use` (lock order: session,
// then bus, then display).
class X11Display : public Guarded<X11Connection> {};

}  // namespace velmor::platform
