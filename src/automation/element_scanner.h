#pragma once

#include "automation/scanned_element.h"
#include "platform/accessibility.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmor::automation {

// Reads the target application's windows (the main window and the dialogs, choosers and
// popups it shows beside it) and turns everything a user could operate into a named element
// tool, with a one-line summary of where the agent is: the window the user is in. Read-only; each
// scan starts from scratch and never fails (what cannot be read is left out).
class ElementScanner {
public:
    // An element tool never takes a name in `reservedNames` (the fixed tools'): it gets the
    // next numbered name instead, as a second element of the same name would.
    ElementScanner(platform::Accessibility& accessibility, int32_t pid, std::vector<std::string> reservedNames = {})
        : accessibility_(accessibility), targetPID_(pid), reservedNames_(std::move(reservedNames)) {}

    int32_t targetPID() const { return targetPID_; }
    ScanResult scan() const;

private:
    platform::Accessibility& accessibility_;
    int32_t targetPID_;
    std::vector<std::string> reservedNames_;
};

}  // namespace velmor::automation
