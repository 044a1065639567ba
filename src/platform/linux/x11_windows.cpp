#include "platform/linux/x11_windows.h"

#include <X11/Xatom.h>

#include <algorithm>

namespace velmor::platform {

namespace {

struct FrameExtents {
    int left = 0, right = 0, top = 0, bottom = 0;
};

FrameExtents frameExtents(X11Connection& x11, Window window) {
    auto values = x11.cardinals(window, "_NET_FRAME_EXTENTS", XA_CARDINAL);
    if (values.size() < 4) return {};
    return {static_cast<int>(values[0]), static_cast<int>(values[1]), static_cast<int>(values[2]),
            static_cast<int>(values[3])};
}

// The layer an application's own windows live in: not panels, menus, tooltips or docks.
bool normalWindow(X11Connection& x11, Window window) {
    auto types = x11.cardinals(window, "_NET_WM_WINDOW_TYPE", XA_ATOM);
    if (types.empty()) return true;
    return types.front() == x11.atom("_NET_WM_WINDOW_TYPE_NORMAL") ||
           types.front() == x11.atom("_NET_WM_WINDOW_TYPE_DIALOG");
}

bool onScreen(X11Connection& x11, Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(x11.display(), window, &attributes) || attributes.map_state != IsViewable) return false;
    for (unsigned long state : x11.cardinals(window, "_NET_WM_STATE", XA_ATOM)) {
        if (state == x11.atom("_NET_WM_STATE_HIDDEN")) return false;
    }
    return true;
}

}  // namespace

std::vector<Window> clientWindows(X11Connection& x11, bool stacking) {
    std::vector<Window> windows;
    Window root = x11.root();
    for (unsigned long window :
         x11.cardinals(root, stacking ? "_NET_CLIENT_LIST_STACKING" : "_NET_CLIENT_LIST", XA_WINDOW)) {
        windows.push_back(window);
    }
    if (!windows.empty() || x11.cardinal(root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW)) return windows;

    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(x11.display(), root, &rootReturn, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(x11.display(), children[i], &attributes) && attributes.map_state == IsViewable &&
                !attributes.override_redirect)
                windows.push_back(children[i]);
        }
        if (children) XFree(children);
    }
    return windows;
}

std::optional<int32_t> windowPid(X11Connection& x11, Window window) {
    auto pid = x11.cardinal(window, "_NET_WM_PID", XA_CARDINAL);
    if (!pid) return std::nullopt;
    return static_cast<int32_t>(*pid);
}

WindowInfo describeWindow(X11Connection& x11, Window window) {
    WindowInfo info;
    info.id = window;
    info.title = x11.utf8String(window, "_NET_WM_NAME");
    if (!info.title) info.title = x11.latin1String(window, XA_WM_NAME);

    XWindowAttributes attributes;
    Window child = 0;
    int x = 0, y = 0;
    if (XGetWindowAttributes(x11.display(), window, &attributes) &&
        XTranslateCoordinates(x11.display(), window, x11.root(), 0, 0, &x, &y, &child)) {
        FrameExtents extents = frameExtents(x11, window);
        info.frame = {x - extents.left, y - extents.top, attributes.width + extents.left + extents.right,
                      attributes.height + extents.top + extents.bottom};
    }
    return info;
}

Window frontWindow(X11Connection& x11, int32_t pid) {
    auto stacking = clientWindows(x11, true);  // bottom to top
    auto chosen = std::find_if(stacking.rbegin(), stacking.rend(), [&](Window window) {
        return windowPid(x11, window) == pid && normalWindow(x11, window) && onScreen(x11, window);
    });
    return chosen == stacking.rend() ? None : *chosen;
}

std::vector<WindowInfo> X11Windows::windowsOf(int32_t pid) {
    return x11_.withLocked([&](X11Connection& x11) {
        std::vector<WindowInfo> windows;
        if (!x11.display()) return windows;
        for (Window window : clientWindows(x11, false)) {
            if (windowPid(x11, window) == pid) windows.push_back(describeWindow(x11, window));
        }
        return windows;
    });
}

std::optional<WindowInfo> X11Windows::focusedWindowOf(int32_t pid) {
    return x11_.withLocked([&](X11Connection& x11) -> std::optional<WindowInfo> {
        if (!x11.display()) return std::nullopt;
        auto active = x11.cardinal(x11.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW);
        if (!active || *active == None || windowPid(x11, *active) != pid) return std::nullopt;
        return describeWindow(x11, *active);
    });
}

std::optional<WindowInfo> X11Windows::frontWindowOf(int32_t pid) {
    return x11_.withLocked([&](X11Connection& x11) -> std::optional<WindowInfo> {
        if (!x11.display()) return std::nullopt;
        Window window = frontWindow(x11, pid);
        if (window == None) return std::nullopt;
        return describeWindow(x11, window);
    });
}

std::optional<int32_t> X11Windows::processAt(int x, int y) {
    return x11_.withLocked([&](X11Connection& x11) -> std::optional<int32_t> {
        if (!x11.display()) return std::nullopt;
        auto stacking = clientWindows(x11, true);  // bottom to top
        for (auto window = stacking.rbegin(); window != stacking.rend(); ++window) {
            if (!onScreen(x11, *window)) continue;
            Frame frame = describeWindow(x11, *window).frame;
            if (x >= frame.x && y >= frame.y && x < frame.x + frame.width && y < frame.y + frame.height)
                return windowPid(x11, *window);
        }
        return std::nullopt;
    });
}

std::optional<int32_t> X11Windows::processWithFocus() {
    return x11_.withLocked([&](X11Connection& x11) -> std::optional<int32_t> {
        if (!x11.display()) return std::nullopt;
        auto active = x11.cardinal(x11.root(), "_NET_ACTIVE_WINDOW", XA_WINDOW);
        if (!active || *active == None) return std::nullopt;
        return windowPid(x11, *active);
    });
}

std::optional<Frame> X11Windows::pointer() {
    return x11_.withLocked([&](X11Connection& x11) -> std::optional<Frame> {
        if (!x11.display()) return std::nullopt;
        Window root = 0, child = 0;
        int x = 0, y = 0, windowX = 0, windowY = 0;
        unsigned int buttons = 0;
        if (!XQueryPointer(x11.display(), x11.root(), &root, &child, &x, &y, &windowX, &windowY, &buttons))
            return std::nullopt;
        return Frame{x, y, 0, 0};
    });
}

std::optional<Frame> X11Windows::screen() {
    return x11_.withLocked([&](X11Connection& x11) -> std::optional<Frame> {
        Display* display = x11.display();
        if (!display) return std::nullopt;
        int number = DefaultScreen(display);
        return Frame{0, 0, DisplayWidth(display, number), DisplayHeight(display, number)};
    });
}

Result<void> X11Windows::changeFrame(uint64_t window, const FrameChange& change) {
    x11_.withLocked([&](X11Connection& x11) {
        Display* display = x11.display();
        if (!display) return;
        // The window manager places the frame at x, y; sizes it asks for are the client's, so
        // the decorations are taken off the frame size asked for.
        FrameExtents extents = frameExtents(x11, window);
        long flags = 2L << 12;  // a request from a pager: what the user asked for
        if (change.x) flags |= 1L << 8;
        if (change.y) flags |= 1L << 9;
        if (change.width) flags |= 1L << 10;
        if (change.height) flags |= 1L << 11;

        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = x11.atom("_NET_MOVERESIZE_WINDOW");
        event.xclient.format = 32;
        event.xclient.data.l[0] = flags;
        event.xclient.data.l[1] = change.x.value_or(0);
        event.xclient.data.l[2] = change.y.value_or(0);
        event.xclient.data.l[3] = std::max(1, change.width.value_or(1) - extents.left - extents.right);
        event.xclient.data.l[4] = std::max(1, change.height.value_or(1) - extents.top - extents.bottom);
        XSendEvent(display, x11.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XFlush(display);
    });
    return succeeded();
}

}  // namespace velmor::platform
