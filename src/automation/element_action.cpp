#include "automation/element_action.h"

#include "automation/characters.h"
#include "automation/scroll_into_view.h"
#include "base/json_fields.h"
#include "base/outside_text.h"

#include <chrono>
#include <functional>
#include <thread>

namespace velmor::automation {

using platform::ElementRole;

namespace {

using namespace std::chrono_literals;

// Lets the field take the focus before its text is replaced.
constexpr auto kFocusDelay = 100ms;
// How long typed text gets to arrive in the field before it is read back, and a clicked
// field to report the focus (browsers pass both on from their page process).
constexpr auto kReadBackTimeout = 1500ms;
constexpr auto kFocusTimeout = 1000ms;
constexpr auto kPoll = 50ms;
// How long a pressed row gets to show it is selected.
constexpr auto kSelectionTimeout = 1000ms;
// How long a control the scan saw disabled gets to become enabled before it is pressed
// all the same.
constexpr auto kEnablingTimeout = 500ms;

// Rows, items and cells: what lists and tables hold, and scroll out of view.
bool isListEntry(ElementRole role) { return role == ElementRole::row || role == ElementRole::cell; }

// Whether the field shows `text`. A password field shows as many bullets as it has characters.
bool holds(const ScannedElement& element, const std::string& text) {
    auto value = element.elementRef->currentValue();
    if (!value) return false;
    if (element.role == ElementRole::secureTextField) return userCharacters(*value).size() == userCharacters(text).size();
    return *value == text;
}

bool soon(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

}  // namespace

Result<ElementActions::Performed> ElementActions::perform(const ScannedElement& element, const nlohmann::json& args,
                                                          int32_t pid) {
    const std::string& verb = element.toolPrefix;
    if (const nlohmann::json* option = findField(args, "value"); verb == "open" && option && option->is_string())
        return choose(element, option->get<std::string>(), pid);
    if (verb == "click" || verb == "select" || verb == "toggle" || verb == "open") {
        if (isListEntry(element.role) && element.enabled) return pressEntry(element, pid);
        auto pressed = press(element, pid);
        VELMOR_RETURN_IF_FAILED(pressed);
        return Performed{.route = *pressed};
    }
    auto done = [](const Result<void>& outcome) -> Result<Performed> {
        VELMOR_RETURN_IF_FAILED(outcome);
        return Performed{};
    };
    if (verb == "fill") {
        const nlohmann::json* value = findField(args, "value");
        if (!value || !value->is_string()) return fail("missing 'value' argument");
        return done(fill(element, value->get<std::string>(), pid));
    }
    if (verb == "set") {
        const nlohmann::json* value = findField(args, "value");
        platform::ElementValue given;
        if (value && value->is_number()) given = value->get<double>();
        else if (value && value->is_string()) given = value->get<std::string>();
        else return fail("missing 'value' argument");
        return done(element.elementRef->setValue(given));
    }
    return fail("unknown action prefix: " + verb);
}

Result<ElementActions::Performed> ElementActions::pressEntry(const ScannedElement& element, int32_t pid) {
    platform::AccessibleElement& target = *element.elementRef;
    auto scrolled = scrollIntoView(target, element.title, input_, pid);
    VELMOR_RETURN_IF_FAILED(scrolled);
    auto pressed = press(element, pid);
    VELMOR_RETURN_IF_FAILED(pressed);
    Performed performed{.route = *pressed, .scrolledIntoView = *scrolled};
    // An entry that can be selected shows whether the press took, which an action on it need
    // not (a tree view's activates its row without selecting it). One that cannot, or that
    // left the screen with its popup, is done once pressed.
    std::optional<bool> selected;
    soon([&] { return (selected = target.selected()) != false; }, kSelectionTimeout);
    if (selected == true) performed.selected = true;
    else if (selected == false && target.frameOnScreen())
        return fail("'" + element.title + "' was pressed but is not selected");
    return performed;
}

Result<ElementActions::Performed> ElementActions::choose(const ScannedElement& element, const std::string& option,
                                                         int32_t pid) {
    platform::AccessibleElement& target = *element.elementRef;
    auto shows = [&] { return target.shownOption() == option; };
    if (!target.option(option)) return fail("'" + element.title + "' has no option '" + option + "'");
    Performed performed;
    // Through the list's selection where the toolkit offers it: nothing opens or moves.
    if (!target.selectOption(option) || !soon(shows, kSelectionTimeout)) {
        // Else as a user would: the list opened, and the option clicked once it shows.
        auto opened = press(element, pid);
        VELMOR_RETURN_IF_FAILED(opened);
        performed.route = *opened;
        platform::ElementRef item;
        std::optional<platform::Frame> frame;
        soon([&] {
            if ((item = target.option(option)) && (frame = item->frameOnScreen())) return true;
            platform::ElementRef popped = target.poppedUpOption(option);
            if (!popped || !(frame = popped->frameOnScreen())) return false;
            item = popped;
            return true;
        }, kSelectionTimeout);
        if (!frame || !(input_.clickInTarget(*frame, pid) || input_.clickInTargetPopup(*frame, pid))) {
            if (!item) return fail("'" + element.title + "' has no option '" + option + "'");
            VELMOR_RETURN_IF_FAILED(item->press());
        }
        // A list left open on an option it would not take is closed as a user would close
        // it, so that later keys do not land in it.
        if (!soon(shows, kSelectionTimeout) && item && item->frameOnScreen())
            static_cast<void>(input_.pressKey("escape", pid));
    }
    performed.chosen = target.shownOption();
    if (performed.chosen != option)
        return fail("'" + option + "' was chosen but '" + element.title + "' shows " +
                    (performed.chosen ? "'" + outside_text::label(*performed.chosen) + "'" : "no option it tells"));
    return performed;
}

void ElementActions::awaitEnabled(ScannedElement& element) {
    if (element.enabled) return;
    element.enabled = soon([&] { return element.elementRef->enabledNow(); }, kEnablingTimeout);
}

Result<ElementActions::PressRoute> ElementActions::press(const ScannedElement& element, int32_t pid) {
    platform::AccessibleElement& target = *element.elementRef;
    // A real click lets the application run the handler from its own event loop. Through
    // the accessibility action it would run inside the accessibility call, where a handler
    // that runs a modal dialog holds up every later call until the dialog closes. Clicks
    // also work where toolkits refuse the action (Firefox check boxes and selects). A
    // disabled element is left to the action, which says that it did nothing, and so is one
    // of a window behind the focused one, where a click could land on the window in front.
    if (element.enabled && element.inFocusedWindow) {
        auto frame = target.frameOnScreen();
        // A row brought into view that lies outside the window is in a popup of it (a combo
        // box's open list).
        if (frame && (input_.clickInTarget(*frame, pid) ||
                      (isListEntry(element.role) && input_.clickInTargetPopup(*frame, pid))))
            return PressRoute::pointer;
    }
    // Without a place on screen, an action that is not awaited (Wayland) would leave the
    // application stuck in its dispatch once the handler runs a modal dialog: a key on the
    // focused element goes through the application's own event loop.
    if (element.enabled && !target.pressAwaitsAnswer() && target.pressHeldByModalDialogs() &&
        pressByKeyboard(element, pid))
        return PressRoute::keyboard;
    VELMOR_RETURN_IF_FAILED(target.press());
    return PressRoute::action;
}

bool ElementActions::pressByKeyboard(const ScannedElement& element, int32_t pid) {
    // Space presses what a user can press from the keyboard: buttons and boxes, not menu
    // items or links, whose keys differ.
    const ElementRole role = element.role;
    if (role != ElementRole::button && role != ElementRole::checkBox && role != ElementRole::radioButton) return false;
    platform::AccessibleElement& target = *element.elementRef;
    if (!input_.focusTarget(pid) || !target.focus()) return false;
    if (!soon([&] { return target.focused(); }, kFocusTimeout)) return false;
    return input_.pressKey("space", pid).ok();
}

Result<void> ElementActions::fill(const ScannedElement& element, const std::string& text, int32_t pid) {
    platform::AccessibleElement& target = *element.elementRef;
    // A field that cannot take the focus may still take the text.
    static_cast<void>(target.focus());
    std::this_thread::sleep_for(kFocusDelay);
    auto set = target.setValue(text);
    if (set && holds(element, text)) return succeeded();
    // Refused, or accepted and then ignored (Firefox keeps its own value): typed as a user
    // would, and believed only once the field shows it.
    if (typeOver(element, text, pid) && soon([&] { return holds(element, text); }, kReadBackTimeout))
        return succeeded();
    std::string why = set ? refused(platform::ElementAction::setValue, platform::AccessibilityError::failure).message : set.error();
    return fail(why + ". Try type_text instead.");
}

bool ElementActions::typeOver(const ScannedElement& element, const std::string& text, int32_t pid) {
    platform::AccessibleElement& target = *element.elementRef;
    auto frame = element.inFocusedWindow ? target.frameOnScreen() : std::nullopt;
    if (!frame || !input_.clickInTarget(*frame, pid)) {
        if (!input_.focusTarget(pid)) return false;
        // Whether the focus arrived is checked next, whatever the request answered.
        static_cast<void>(target.focus());
    }
    // Keys go wherever the focus is: never type unless it is in this field.
    if (!soon([&] { return target.focused(); }, kFocusTimeout)) return false;
    if (!input_.pressKey("ctrl+a", pid)) return false;
    if (text.empty()) return input_.pressKey("backspace", pid).ok();
    return input_.typeText(text, pid).ok();
}

}  // namespace velmor::automation
