#include "platform/linux/x11_clipboard.h"

#include <X11/Xatom.h>
#include <poll.h>

#include <chrono>
#include <thread>
#include <vector>

namespace velmor::platform {

namespace {

using namespace std::chrono_literals;

constexpr auto kReadTimeout = 1000ms;
// How often the owner thread looks for requests that another thread's round trip has
// already taken off the connection.
constexpr int kServePollMs = 50;
constexpr const char* kTransferProperty = "VELMOR_CLIPBOARD";
constexpr const char* kTextPlainUtf8 = "text/plain;charset=utf-8";

std::string utf8ToLatin1(const std::string& utf8) {
    std::string latin1;
    for (size_t i = 0; i < utf8.size();) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            latin1 += static_cast<char>(byte);
            ++i;
            continue;
        }
        int length = (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 1;
        unsigned value = length == 2 && i + 1 < utf8.size()
                             ? ((byte & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F)
                             : 0x100;
        latin1 += value <= 0xFF ? static_cast<char>(value) : '?';
        i += length;
    }
    return latin1;
}

void waitForInput(Display* display, int timeoutMs) {
    pollfd descriptor{ConnectionNumber(display), POLLIN, 0};
    poll(&descriptor, 1, timeoutMs);
}

}  // namespace

Window X11Clipboard::window(Display* display) {
    if (windowDisplay_ != display) {
        // A new connection: the old window and the ownership went with the old one.
        window_ = XCreateSimpleWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, 0);
        windowDisplay_ = display;
        owned_ = false;
    }
    return window_;
}

Result<void> X11Clipboard::setText(const std::string& text) {
    auto owned = x11_.withLocked([&](X11Connection& x11) -> Result<void> {
        Display* display = x11.display();
        if (!display) return fail(x11.unavailable().value_or(""));
        Window ours = window(display);
        Atom clipboard = x11.atom("CLIPBOARD");
        text_ = text;
        XSetSelectionOwner(display, clipboard, ours, CurrentTime);
        owned_ = XGetSelectionOwner(display, clipboard) == ours;
        if (!owned_) return fail("the X server did not hand this process the clipboard");
        return succeeded();
    });
    if (owned) std::call_once(serving_, [this] { std::thread([this] { serve(); }).detach(); });
    return owned;
}

Result<std::string> X11Clipboard::text() {
    return x11_.withLocked([&](X11Connection& x11) -> Result<std::string> {
        Display* display = x11.display();
        if (!display) return fail(x11.unavailable().value_or(""));
        Window ours = window(display);
        Window owner = XGetSelectionOwner(display, x11.atom("CLIPBOARD"));
        if (owner == None) return std::string();
        if (owner == ours && owned_) return text_;
        for (Atom target : {x11.atom("UTF8_STRING"), XA_STRING}) {
            auto text = fetch(x11, ours, target);
            VELMOR_RETURN_IF_FAILED(text);
            if (*text) return std::move(**text);
        }
        return std::string();  // the owner has no text to give
    });
}

Result<std::optional<std::string>> X11Clipboard::fetch(X11Connection& x11, Window ours, Atom target) {
    Display* display = x11.display();
    Atom property = x11.atom(kTransferProperty);
    // An owner that answers after an earlier read gave up must not pass for this read's answer.
    XEvent event;
    while (XCheckTypedWindowEvent(display, ours, SelectionNotify, &event)) {
    }
    XDeleteProperty(display, ours, property);
    XConvertSelection(display, x11.atom("CLIPBOARD"), target, property, ours, CurrentTime);
    XFlush(display);
    // The owner thread waits for the lock meanwhile, so the answer is left for this loop.
    auto deadline = std::chrono::steady_clock::now() + kReadTimeout;
    while (!XCheckTypedWindowEvent(display, ours, SelectionNotify, &event)) {
        if (std::chrono::steady_clock::now() >= deadline) return fail(kClipboardNotHandedOver);
        waitForInput(display, 10);
    }
    if (event.xselection.property == None) return std::optional<std::string>();
    std::optional<std::string> text =
        target == XA_STRING ? x11.latin1String(ours, property) : x11.utf8String(ours, kTransferProperty);
    XDeleteProperty(display, ours, property);
    return text;
}

void X11Clipboard::serve() {
    for (;;) {
        // Requests are answered with the lock held; the wait for the next one is not.
        Display* display = x11_.withLocked([&](X11Connection& x11) {
            Display* connection = x11.display();
            while (connection && XPending(connection)) {
                XEvent event;
                XNextEvent(connection, &event);
                handle(x11, event);
            }
            return connection;
        });
        if (display) waitForInput(display, kServePollMs);
        else std::this_thread::sleep_for(std::chrono::milliseconds(kServePollMs * 4));
    }
}

void X11Clipboard::handle(X11Connection& x11, XEvent& event) {
    Display* display = x11.display();
    if (event.type == SelectionClear && event.xselectionclear.window == window_ && display == windowDisplay_) {
        owned_ = false;
        text_.clear();
    } else if (event.type == SelectionRequest) {
        answer(x11, event.xselectionrequest);
    }
}

void X11Clipboard::answer(X11Connection& x11, const XSelectionRequestEvent& request) {
    Display* display = x11.display();
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;

    // Clients from before the conventions of today name no property: the target is used.
    Atom property = request.property == None ? request.target : request.property;
    Atom utf8 = x11.atom("UTF8_STRING");
    Atom plainUtf8 = x11.atom(kTextPlainUtf8);
    Atom targets = x11.atom("TARGETS");
    Atom text = x11.atom("TEXT");
    bool ours = owned_ && display == windowDisplay_ && request.owner == window_ &&
                request.selection == x11.atom("CLIPBOARD");
    if (ours && request.target == targets) {
        std::vector<Atom> offered = {targets, utf8, plainUtf8, text, XA_STRING};
        XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(offered.data()), static_cast<int>(offered.size()));
        reply.property = property;
    } else if (ours && (request.target == utf8 || request.target == plainUtf8 || request.target == text)) {
        Atom type = request.target == plainUtf8 ? plainUtf8 : utf8;
        XChangeProperty(display, request.requestor, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text_.data()), static_cast<int>(text_.size()));
        reply.property = property;
    } else if (ours && request.target == XA_STRING) {
        std::string latin1 = utf8ToLatin1(text_);
        XChangeProperty(display, request.requestor, property, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(latin1.data()), static_cast<int>(latin1.size()));
        reply.property = property;
    }
    XEvent event;
    event.xselection = reply;
    XSendEvent(display, request.requestor, False, NoEventMask, &event);
    XFlush(display);
}

}  // namespace velmor::platform
