#pragma once

#include "platform/accessibility.h"
#include "platform/linux/atspi_roles.h"
#include "platform/linux/atspi_snapshot.h"

#include <map>
#include <memory>

namespace velmor::platform {

// One object of a snapshot, answering the scanner's attributes. Structure, roles, names and
// states come from the snapshot; values, texts, attributes and actions are asked of the
// application at the time they are needed. Every call runs inside the bus's withLocked.
class AtspiElement final : public AccessibleElement {
public:
    // Made with the bus lock held.
    AtspiElement(std::shared_ptr<AtspiSnapshot> snapshot, int node, bool insideWebArea);

    ElementRole role() override;
    std::optional<std::string> title() override;
    std::optional<std::string> description() override;
    std::optional<std::string> identifier() override;
    std::optional<std::string> value() override;
    std::optional<std::string> currentValue() override;
    std::optional<std::string> placeholder() override;
    bool enabled() override;
    bool enabledNow() override;
    std::vector<ElementRef> children() override;
    std::optional<int> tableRow() override { return tableRow_; }
    bool editable() override;
    bool offersPress() override;
    std::optional<Frame> frameOnScreen() override;
    bool focused() override;
    std::optional<Placement> placement() override;
    bool scrollToVisible() override;
    std::optional<bool> selected() override;
    ElementRef cellAt(int row, int column) override;
    std::optional<std::string> shownText() override;

    ElementRef option(const std::string& name) override;
    ElementRef poppedUpOption(const std::string& name) override;
    std::optional<std::string> shownOption() override;
    Result<void> selectOption(const std::string& name) override;

    Result<void> press() override;
    bool pressAwaitsAnswer() override { return snapshot_->rules().awaitPressAnswer; }
    bool pressHeldByModalDialogs() override;
    Result<void> focus() override;
    Result<void> setValue(const ElementValue& value) override;

private:
    const AtspiNode& node() const { return snapshot_->node(node_); }
    std::optional<int> pressActionIndex(AtspiConnection& atspi, std::optional<AccessibilityError>& error);
    // Reads ahead what a scan asks of the cells inside the cells of a table's rows.
    void readCellsWithin(AtspiConnection& atspi, const std::vector<int>& kept, const std::vector<std::optional<int>>& rows);
    std::optional<std::string> liveValue(AtspiConnection& atspi);
    // The Text interface's whole contents now.
    std::optional<std::string> liveText(AtspiConnection& atspi);
    // Where a rectangle the application reported lies on screen: the session's rules may
    // measure from the element's window.
    std::optional<Frame> onScreenFrom(Frame reported);
    std::optional<AccessibilityError> attemptPress();
    std::optional<AccessibilityError> attemptFocus();
    std::optional<AccessibilityError> attemptSetValue(const ElementValue& value);
    std::optional<AccessibilityError> setText(AtspiConnection& atspi, const std::string& text);
    std::optional<AccessibilityError> setNumber(AtspiConnection& atspi, double number);

    std::shared_ptr<AtspiSnapshot> snapshot_;
    int node_;
    bool insideWebArea_;
    RoleMapping mapping_;
    std::optional<int> tableRow_;  // set by the parent's children(), which asks for all at once
};

// The application object of a snapshot: its top-level windows and its focus.
class AtspiApplicationElement final : public AccessibleApplication {
public:
    explicit AtspiApplicationElement(std::shared_ptr<AtspiSnapshot> snapshot) : snapshot_(std::move(snapshot)) {}

    ElementRef focusedWindow() override;
    std::vector<ElementRef> windows() override;
    ElementRef focusedElement() override;

private:
    std::vector<int> windowNodes(AtspiConnection& atspi);
    // The window of that name; null when none has it. Reached with the bus lock held.
    ElementRef windowNamed(AtspiConnection& atspi, const std::string& name);
    // One element per window, whichever call hands it out: the scanner tells the focused
    // window among the others by identity. Reached with the bus lock held.
    ElementRef windowElement(int node);

    std::shared_ptr<AtspiSnapshot> snapshot_;
    std::map<int, ElementRef> windowElements_;
};

}  // namespace velmor::platform
