#pragma once

#include "base/result.h"
#include "platform/element_role.h"
#include "platform/windows.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velmor::platform {

// Why an accessibility operation failed. The numbers are the ones agents have always seen
// in "AXPress failed: <code>" and "AXSetValue failed: <code>", whatever the backend.
enum class AccessibilityError : int {
    failure = -25200,               // the application refused
    illegalArgument = -25201,       // a value the element cannot take
    invalidElement = -25202,        // the element is gone
    cannotComplete = -25204,        // no answer from the application
    attributeUnsupported = -25205,  // the element has no such value
    actionUnsupported = -25206,     // the element has no such action
};

inline int code(AccessibilityError error) { return static_cast<int>(error); }

// What was asked of an element.
enum class ElementAction { press, setValue, focus, selectOption };

// The failure of an accessibility action as agents see it: "AXPress failed: -25206".
Failure refused(ElementAction action, AccessibilityError error);

// A value for an element: numbers go to range controls, text to text fields.
using ElementValue = std::variant<double, std::string>;

class AccessibleElement;
using ElementRef = std::shared_ptr<AccessibleElement>;

// One element of an application's user interface, as the scanner reads it. Reads never
// fail: what cannot be read is absent. Actions fail as refused() words it.
class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;

    virtual ElementRole role() = 0;
    virtual std::optional<std::string> title() = 0;
    virtual std::optional<std::string> description() = 0;
    virtual std::optional<std::string> identifier() = 0;  // the id its application gives it
    virtual std::optional<std::string> value() = 0;         // as text, as scanned
    virtual std::optional<std::string> currentValue() = 0;  // as the application has it now
    virtual std::optional<std::string> placeholder() = 0;
    virtual bool enabled() = 0;  // as scanned
    // Whether it is enabled as the application has it now.
    virtual bool enabledNow() { return enabled(); }
    virtual std::vector<ElementRef> children() = 0;
    // The row it lies in, for a cell or row that its table lists among its own children
    // (GTK 3 tree views list cells, row after row, with no row objects): the cells of one row
    // answer the same number. Nothing for anything else.
    virtual std::optional<int> tableRow() { return std::nullopt; }
    // Whether the user can change its text; a result display or a status line cannot.
    virtual bool editable() { return true; }
    virtual bool offersPress() = 0;  // a press among its actions
    // Where the element is on screen now; nothing when it is not
    // showing or has no extent.
    virtual std::optional<Frame> frameOnScreen() = 0;
    virtual bool focused() = 0;  // whether it has the keyboard focus now
    // Where the element lies now, whether or not it shows there, and the part of the screen
    // its containers show (the overlap of its ancestors' rectangles up to its window): a row
    // its list has scrolled away lies outside that part. Nothing when the containers' part
    // cannot be read.
    struct Placement {
        std::optional<Frame> frame;  // nothing where the element reports no place (GTK 3's
                                     // rows out of view give the smallest coordinates there are)
        Frame shown;
    };
    virtual std::optional<Placement> placement() { return std::nullopt; }
    // Asks the application to scroll the element's containers until it is in view; false
    // when it refuses or cannot.
    virtual bool scrollToVisible() { return false; }
    // Whether the element is selected now; nothing when it is not something that can be
    // selected (a row, item or cell of a list that has a selection).
    virtual std::optional<bool> selected() { return std::nullopt; }

    // For a combo box: the item of its list or menu that offers the option `name`, whether
    // the list is open or not; null when it has none.
    virtual ElementRef option(const std::string& name) {
        static_cast<void>(name);
        return nullptr;
    }
    // For a combo box whose list is open: the item that offers the option `name` in a list
    // popped up apart from the combo box (the browser's own list for a page's select), where
    // the items under the combo box never come on screen; null when none offers it.
    virtual ElementRef poppedUpOption(const std::string& name) {
        static_cast<void>(name);
        return nullptr;
    }
    // For a combo box: the option it shows now, as the application has it; nothing when it
    // does not tell.
    virtual std::optional<std::string> shownOption() { return std::nullopt; }
    // For a combo box: makes the option `name` its choice without opening its list.
    virtual Result<void> selectOption(const std::string& name) {
        static_cast<void>(name);
        return refused(ElementAction::selectOption, AccessibilityError::actionUnsupported);
    }
    // For a grid (a spreadsheet's sheet, a table): its cell at `row`, `column` (from 0) as
    // the application has it now; null where the element is no grid or has no such cell.
    virtual ElementRef cellAt(int /*row*/, int /*column*/) { return nullptr; }
    // The text the element shows now (a cell's value as shown, not its formula); nothing
    // where it shows no text.
    virtual std::optional<std::string> shownText() { return std::nullopt; }

    virtual Result<void> press() = 0;
    // Whether press() waits for the application's answer. Where it does not (Wayland), a
    // press's answer says which way it went: the agent cannot otherwise tell a pointer click
    // that was seen from an action that was only sent.
    virtual bool pressAwaitsAnswer() { return true; }
    // Whether the application runs the handler of press() inside its accessibility dispatch,
    // where a modal dialog the handler opens holds every later call until the dialog closes
    // (GTK 3, Qt). A key pressed on the focused element runs it from the application's own
    // event loop instead.
    virtual bool pressHeldByModalDialogs() { return false; }
    virtual Result<void> focus() = 0;
    virtual Result<void> setValue(const ElementValue& value) = 0;
};

// The application element of one running process.
class AccessibleApplication {
public:
    virtual ~AccessibleApplication() = default;

    virtual ElementRef focusedWindow() = 0;  // null when none
    virtual std::vector<ElementRef> windows() = 0;
    virtual ElementRef focusedElement() = 0;  // null when none
};

class Accessibility {
public:
    virtual ~Accessibility() = default;

    // The application element of process `pid`, as its user interface is now. Null when no
    // accessible application runs with that process identifier.
    virtual std::unique_ptr<AccessibleApplication> application(int32_t pid) = 0;
    // Tells the application that it is about to be read, so that it gets ready (ATK toolkits
    // build their object cache) while the caller waits anyway. Returns at once.
    virtual void prepare(int32_t pid) = 0;
    // Starts following what the application does, just before an action on it, so that
    // awaitSettled waits for what the action set off.
    virtual void followChanges(int32_t pid) = 0;
    // Returns once the application has taken in what was sent to it before the call and its
    // user interface has stopped changing (a window it opened has come on screen), or at a
    // deadline when it keeps changing. `read` (may be empty) reads the interface: it runs
    // while the quiet that tells a settled interface is waited for, and again, once quiet,
    // when the interface changed after that read began; its last run saw the settled
    // interface.
    virtual void awaitSettled(int32_t pid, const std::function<void()>& read) = 0;
};

}  // namespace velmor::platform
