#pragma once

#include "automation/ax_element.h"
#include "platform/accessibility.h"

#include <cstdint>

namespace velmor::automation {

// Reads the target application's current window and turns everything a user could operate
// into a named element tool, with a one-line summary of where the agent is. Read-only; each
// scan starts from scratch and never fails (what cannot be read is left out).
class AXScanner {
public:
    AXScanner(platform::Accessibility& accessibility, int32_t pid) : accessibility_(accessibility), targetPID_(pid) {}

    int32_t targetPID() const { return targetPID_; }
    ScanResult scan() const;

private:
    platform::Accessibility& accessibility_;
    int32_t targetPID_;
};

}  // namespace velmor::automation
