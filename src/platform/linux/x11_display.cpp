#include "platform/linux/x11_display.h"

#include "base/log.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <atomic>
#include <cstdlib>

namespace velmor::platform {

namespace {

std::atomic<Display*> ourDisplay{nullptr};
std::atomic<bool> connectionLost{false};
XErrorHandler previousErrorHandler = nullptr;

// Errors on our connection are windows that went away mid-request: the request just fails.
// Other connections in the process (GTK's) keep the handling they had.
int onXError(Display* display, XErrorEvent* event) {
    if (display == ourDisplay.load()) return 0;
    return previousErrorHandler ? previousErrorHandler(display, event) : 0;
}

// Xlib's default reaction to a lost server is to exit; the desktop tools report it instead.
void onConnectionLost(Display*, void*) { connectionLost = true; }

std::string latin1ToUtf8(const unsigned char* text, size_t length) {
    std::string utf8;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = text[i];
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

// One property's contents, released with the object.
struct PropertyData {
    unsigned char* data = nullptr;
    unsigned long items = 0;
    int format = 0;
    Atom type = None;
    ~PropertyData() {
        if (data) XFree(data);
    }
};

bool readProperty(Display* display, Window window, Atom property, Atom type, PropertyData& out) {
    unsigned long remaining = 0;
    int status = XGetWindowProperty(display, window, property, 0, 1 << 20, False, type, &out.type, &out.format,
                                    &out.items, &remaining, &out.data);
    return status == Success && out.data != nullptr && out.type != None && (type == AnyPropertyType || out.type == type);
}

}  // namespace

Display* X11Connection::display() {
    if (display_ && connectionLost) {
        // The dead connection is abandoned, not closed: closing it would talk to the server.
        Log::error("ax", "lost the connection to the X server");
        display_ = nullptr;
        ourDisplay = nullptr;
        connectionLost = false;
    }
    if (display_) return display_;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        failure_ = "no X display (DISPLAY is not set)";
        return nullptr;
    }
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
        failure_ = std::string("cannot open X display ") + name;
        return nullptr;
    }
    ourDisplay = display_;
    static std::once_flag handlerInstalled;
    std::call_once(handlerInstalled, [] { previousErrorHandler = XSetErrorHandler(onXError); });
    XSetIOErrorExitHandler(display_, onConnectionLost, nullptr);
    failure_.clear();
    return display_;
}

std::optional<std::string> X11Connection::unavailable() {
    if (display()) return std::nullopt;
    return failure_;
}

Window X11Connection::root() { return DefaultRootWindow(display_); }

Atom X11Connection::atom(const char* name) { return XInternAtom(display_, name, False); }

std::vector<unsigned long> X11Connection::cardinals(Window window, const char* property, Atom type) {
    std::vector<unsigned long> values;
    PropertyData data;
    if (!readProperty(display_, window, atom(property), type, data) || data.format != 32) return values;
    // Format 32 properties arrive as longs, whatever the width of long.
    const auto* items = reinterpret_cast<const unsigned long*>(data.data);
    values.assign(items, items + data.items);
    return values;
}

std::optional<unsigned long> X11Connection::cardinal(Window window, const char* property, Atom type) {
    auto values = cardinals(window, property, type);
    if (values.empty()) return std::nullopt;
    return values.front();
}

std::optional<std::string> X11Connection::utf8String(Window window, const char* property) {
    PropertyData data;
    if (!readProperty(display_, window, atom(property), atom("UTF8_STRING"), data) || data.format != 8)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(data.data), data.items);
}

std::optional<std::string> X11Connection::latin1String(Window window, Atom property) {
    PropertyData data;
    if (!readProperty(display_, window, property, XA_STRING, data) || data.format != 8) return std::nullopt;
    return latin1ToUtf8(data.data, data.items);
}

std::vector<std::string> X11Connection::strings(Window window, Atom property) {
    std::vector<std::string> values;
    PropertyData data;
    if (!readProperty(display_, window, property, XA_STRING, data) || data.format != 8) return values;
    const char* text = reinterpret_cast<const char*>(data.data);
    size_t start = 0;
    for (size_t i = 0; i <= data.items; ++i) {
        if (i == data.items || text[i] == '\0') {
            if (i > start || i < data.items) values.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    return values;
}

}  // namespace velmor::platform
