#pragma once

#include "automation/scanned_element.h"
#include "automation/input_actions.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velmor::automation {

// Carries out one element tool on its element in the target application: press for click,
// select, toggle and open; the text for fill (the argument `value`, a string); the value
// for set (`value`, a number or a string); the option to choose for open given a `value`.
// Fails with the message for the agent. Success means the effect was seen: a fill and a
// choice are read back.
class ElementActions {
public:
    explicit ElementActions(InputActions& input) : input_(input) {}

    // How a press reached its element.
    enum class PressRoute { pointer, keyboard, action };

    struct Performed {
        std::optional<PressRoute> route;  // nothing for the tools that are not presses
        bool scrolledIntoView = false;    // a row, item or cell brought into view to be pressed
        bool selected = false;            // a row, item or cell the press left selected, read back
        std::optional<std::string> chosen;  // the option a combo box shows after a choice, read back
    };

    // A row, item or cell out of view is scrolled into it first; one that can be selected
    // must be selected afterwards, or the press fails saying so.
    Result<Performed> perform(const ScannedElement& element, const nlohmann::json& args, int32_t pid);
    // A control the scan saw disabled may be enabled by now, or soon: a file chooser enables
    // Save only once it has looked at the name just filled in. Waits a little for it, and
    // marks it enabled when it came; done before the action, as what enabled it belongs to
    // the step before.
    void awaitEnabled(ScannedElement& element);

private:
    Result<PressRoute> press(const ScannedElement& element, int32_t pid);
    // Presses a row, item or cell of a list or table, brought into view first, and reads
    // back whether it is selected.
    Result<Performed> pressEntry(const ScannedElement& element, int32_t pid);
    // Gives the element the keyboard focus and presses space on it; false when it did not
    // take the focus or the key could not be pressed (nothing was pressed then).
    bool pressByKeyboard(const ScannedElement& element, int32_t pid);
    Result<void> fill(const ScannedElement& element, const std::string& text, int32_t pid);
    // Makes `option` the combo box's choice and reads back the option it shows, failing
    // when that is another.
    Result<Performed> choose(const ScannedElement& element, const std::string& option, int32_t pid);
    // Focuses the field as a user would, selects what it holds and types `text` over it;
    // false when the field does not take the keyboard focus (nothing is typed then).
    bool typeOver(const ScannedElement& element, const std::string& text, int32_t pid);

    InputActions& input_;
};

}  // namespace velmor::automation
