#pragma once

#include <X11/Xlib.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// The process's own connection to the X server for window management. Xlib connections
// are not thread-safe, so every use holds lock(). Errors about windows that vanished
// between two requests are expected and never end the process.
class X11Display {
public:
    X11Display() = default;
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(mutex_); }

    // The following are called with lock() held.

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
    std::mutex mutex_;
    Display* display_ = nullptr;
    std::string failure_;
};

}  // namespace velmor::platform
