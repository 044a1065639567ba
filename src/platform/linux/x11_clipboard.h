#pragma once

#include "platform/clipboard.h"
#include "platform/linux/x11_display.h"

#include <X11/Xlib.h>

#include <mutex>
#include <optional>
#include <string>

namespace velmor::platform {

// The CLIPBOARD selection on the process's X connection. Copied text is served by this
// process for as long as it owns the selection: a thread, started with the first copy,
// answers the other applications' requests. Reading asks the owner for UTF-8 text.
class X11Clipboard final : public Clipboard {
public:
    explicit X11Clipboard(X11Display& x11) : x11_(x11) {}

    Result<std::string> text() override;
    Result<void> setText(const std::string& text) override;

private:
    // What follows, and the members below, belong to the holder of the display lock.
    Window window(Display* display);
    void handle(X11Connection& x11, XEvent& event);
    void answer(X11Connection& x11, const XSelectionRequestEvent& request);
    // The owner's text as `target`; nothing when it has none of that kind; fails when it does
    // not answer in time.
    Result<std::optional<std::string>> fetch(X11Connection& x11, Window window, Atom target);
    // The owner thread's loop.
    void serve();

    X11Display& x11_;
    std::once_flag serving_;
    Display* windowDisplay_ = nullptr;
    Window window_ = None;
    bool owned_ = false;
    std::string text_;
};

}  // namespace velmor::platform
