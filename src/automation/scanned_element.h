#pragma once

#include "platform/accessibility.h"

#include <optional>
#include <string>
#include <vector>

namespace velmor::automation {

// One element tool of a scan.
struct ScannedElement {
    std::string toolName;    // click_save, fill_name_2, ...
    std::string toolPrefix;  // the verb: click, fill, toggle, select, open, set
    platform::ElementRole role = platform::ElementRole::unknown;
    std::string title;       // the label the name was built from; never empty
    std::optional<std::string> value;
    bool enabled = false;
    platform::ElementRef elementRef;  // live while the application keeps the element
    std::string description;
    // Whether it lies in the window the user is in. A click at the place of an element of
    // another window of the application (the main window behind its dialog) may land on
    // the window in front of it.
    bool inFocusedWindow = true;
};

inline constexpr size_t kShownTextCap = 300;

// One scan of the target's windows; the title is the focused one's.
struct ScanResult {
    std::string windowTitle;
    std::optional<std::string> focusedElement;  // "AXTextField: Search"
    std::vector<ScannedElement> elements;       // in traversal order
    std::string hierarchySummary;               // Window 'Inbox' > Toolbar 'Mail' > WebArea
    bool windowless = false;                    // the application showed no window to scan
    // What the window's labels show (a calculator's result, a status line), in traversal
    // order, at most kShownTextCap of them.
    std::vector<std::string> shownTexts;
    std::optional<std::string> partial;         // set when the window was larger than a scan reads
};

}  // namespace velmor::automation
