#include "platform/accessibility.h"

namespace velmor::platform {

namespace {

// The names agents have always read in an action's failure.
const char* actionName(ElementAction action) {
    switch (action) {
        case ElementAction::press: return "AXPress";
        case ElementAction::setValue: return "AXSetValue";
        case ElementAction::focus: return "AXFocused";
        case ElementAction::selectOption: return "AXSelectOption";
    }
    return "AXPress";
}

}  // namespace

Failure refused(ElementAction action, AccessibilityError error) {
    return fail(std::string(actionName(action)) + " failed: " + std::to_string(code(error)));
}

}  // namespace velmor::platform
