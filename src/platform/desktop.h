#pragma once

#include "platform/accessibility.h"
#include "platform/applications.h"
#include "platform/clipboard.h"
#include "platform/input.h"
#include "platform/menus.h"
#include "platform/screen_frames.h"
#include "platform/window_capture.h"
#include "platform/windows.h"

#include <memory>

namespace velmor::platform {

// The desktop services of this process, from the backend the build chose (see
// CMakeLists.txt): accessibility and menus, windows, input, the clipboard and captures.
// They connect lazily, so a desktop can be opened without a display and answers clear
// errors until one is there.
struct DesktopServices {
    Accessibility& accessibility;
    Applications& applications;
    Windows& windows;
    Input& input;
    Clipboard& clipboard;
    WindowCapture& capture;
    Menus& menus;
    // For recordings, where the screen is read frame by frame; null where the recorder reads
    // the screen itself.
    ScreenFrames* frames = nullptr;
};

// Owns the backend's connections and services. Open one per process and keep it for the
// process's life: the toolkits underneath keep process-wide state, and the clipboard's
// owner thread serves other applications until the process ends.
class Desktop {
public:
    virtual ~Desktop() = default;

    virtual DesktopServices& services() = 0;
    // Whether assistive access works for this process (the accessibility bus is reachable
    // and switched on).
    virtual bool accessibilityTrusted() = 0;
    // Whether a capture can read other applications' windows: on this desktop, exactly
    // when the window list shows a window of another process.
    virtual bool otherApplicationsWindowsVisible() = 0;
};

std::unique_ptr<Desktop> openDesktop();

}  // namespace velmor::platform
