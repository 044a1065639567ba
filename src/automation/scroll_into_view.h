#pragma once

#include "automation/input_actions.h"
#include "base/result.h"
#include "platform/accessibility.h"

#include <cstdint>
#include <string>

namespace velmor::automation {

// Brings an element its containers have scrolled out of view (a row of a long list, a cell
// of a wide table) back into view before it is pressed: a click at its place would land on
// whatever lies there now, and an accessibility action on a row out of view may do nothing
// a user would see. The application is asked first (to scroll it into view, then the keyboard
// focus, which lists scroll to); where neither brings it into view, the wheel is turned over
// the container as a user would. True when it was out of view and now is in it, false when
// it was in view (or its containers' place cannot be read, so nothing can tell); fails,
// naming `label`, when it stays out of view.
Result<bool> scrollIntoView(platform::AccessibleElement& element, const std::string& label, InputActions& input,
                            int32_t pid);

}  // namespace velmor::automation
