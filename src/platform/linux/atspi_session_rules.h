#pragma once

#include "platform/windows.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmor::platform {

// What differs in AT-SPI between the kinds of desktop session.
//
// In an X11 session extents are screen coordinates, and a press is an action whose answer
// is awaited. Under Wayland applications do not know where their windows are: extents are
// relative to the element's window, which the compositor alone can place (windowOrigin);
// which window has the focus is the compositor's to say too (focusedWindowName), as a
// toolkit marks a window active only once a keyboard has entered it; and
// an element without a known place is pressed through its action, sent without waiting for
// the answer, because a handler that runs a modal dialog would hold the answer back until
// the dialog closes; what the press did is read afresh afterwards, as after every action.
struct AtspiSessionRules {
    // Where extents within the window named `windowName` of process `pid` are measured from
    // (its x and y); nothing when unknown. Null when extents are screen coordinates already.
    std::function<std::optional<Frame>(int32_t pid, const std::string& windowName)> windowOrigin;
    // The name of process `pid`'s window that has the focus; nothing when none of its windows
    // has it. Null where the toolkit's active state is to be believed.
    std::function<std::optional<std::string>(int32_t pid)> focusedWindowName;
    // The name of process `pid`'s window that has the focus as the window manager tells it,
    // asked where the toolkit marks none of the application's windows active (GTK 4 while
    // one of its dialogs is up); nothing when none of them has the focus. Null where the
    // toolkit's word is all there is.
    std::function<std::optional<std::string>(int32_t pid)> managerFocusedWindowName;
    bool awaitPressAnswer = true;
};

}  // namespace velmor::platform
