#include "platform/linux/atspi_element.h"

#include "platform/linux/atspi_choices.h"
#include "platform/linux/atspi_extents.h"
#include "platform/linux/atspi_labels.h"
#include "platform/linux/atspi_table_rows.h"
#include "platform/linux/atspi_visibility.h"
#include "platform/linux/atspi_visible_cells.h"
#include "platform/linux/dbus_message.h"
#include "platform/linux/widget_text.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>
#include <vector>

namespace velmor::platform {

namespace {

constexpr const char* kAccessibleDbus = "org.a11y.atspi.Accessible";
constexpr const char* kActionDbus = "org.a11y.atspi.Action";
constexpr const char* kValueDbus = "org.a11y.atspi.Value";

// "100", "0.5", "73.25": the shortest text that reads back as the same value.
std::string numberText(double number) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", number);
    return text;
}

AccessibilityError errorFor(const std::string& dbusError, AccessibilityError unsupported) {
    static const std::set<std::string_view> gone = {DBUS_ERROR_UNKNOWN_OBJECT, DBUS_ERROR_SERVICE_UNKNOWN,
                                                    DBUS_ERROR_NAME_HAS_NO_OWNER, DBUS_ERROR_DISCONNECTED};
    static const std::set<std::string_view> silent = {DBUS_ERROR_NO_REPLY, DBUS_ERROR_TIMEOUT, DBUS_ERROR_TIMED_OUT};
    static const std::set<std::string_view> missing = {DBUS_ERROR_UNKNOWN_METHOD, DBUS_ERROR_UNKNOWN_INTERFACE,
                                                       DBUS_ERROR_UNKNOWN_PROPERTY};
    if (gone.count(dbusError)) return AccessibilityError::invalidElement;
    if (silent.count(dbusError)) return AccessibilityError::cannotComplete;
    if (missing.count(dbusError)) return unsupported;
    return AccessibilityError::failure;
}

// Deep enough for any real window; a hostile tree ends here.
constexpr int kMaxAncestors = 64;

// The part two rectangles share; empty (zero width or height) when they do not meet.
Frame overlapOf(const Frame& a, const Frame& b) {
    int left = std::max(a.x, b.x), top = std::max(a.y, b.y);
    int right = std::min(a.x + a.width, b.x + b.width), bottom = std::min(a.y + a.height, b.y + b.height);
    return {left, top, std::max(0, right - left), std::max(0, bottom - top)};
}

// A call that answers a boolean: nothing when it answered true.
std::optional<AccessibilityError> outcome(const DbusReply& reply, AccessibilityError unsupported) {
    if (!reply.ok()) return errorFor(reply.errorName(), unsupported);
    if (!reply.hasSignature("b") || !reply.reader().boolean()) return AccessibilityError::failure;
    return std::nullopt;
}

}  // namespace

AtspiElement::AtspiElement(std::shared_ptr<AtspiSnapshot> snapshot, int node, bool insideWebArea)
    : snapshot_(std::move(snapshot)), node_(node), insideWebArea_(insideWebArea) {
    const AtspiNode& n = this->node();
    mapping_ = roleOf(n.role, n.states, n.interfaces);
    // A cell that toggles when pressed is a check box drawn in a list (GTK 3's toggle cells);
    // its parent's children() has read its actions by now.
    if (n.role == ATSPI_ROLE_TABLE_CELL && n.pressToggles) mapping_ = {ElementRole::checkBox, ValueSource::checked};
}

ElementRole AtspiElement::role() { return mapping_.role; }

std::optional<std::string> AtspiElement::title() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<std::string> {
        return readableName(atspi, *snapshot_, node_, !insideWebArea_);
    });
}

std::optional<std::string> AtspiElement::description() {
    return snapshot_->bus().withLocked([&](AtspiConnection&) -> std::optional<std::string> {
        // Tooltips are often rich text.
        if (insideWebArea_) return node().description;
        return withoutMarkup(node().description);
    });
}

std::optional<std::string> AtspiElement::identifier() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<std::string> {
        if (node().detailsKnown) return node().accessibleId;
        DBusConnection* bus = atspi.connection();
        if (!bus) return std::nullopt;
        DbusReply reply = getProperty(bus, snapshot_->busName(), node().path, kAccessibleDbus, "AccessibleId",
                                      kAtspiCallTimeoutMs);
        if (!reply.hasSignature("v")) return std::nullopt;
        std::string id = reply.reader().open().string();
        if (id.empty()) return std::nullopt;
        return id;
    });
}

std::optional<std::string> AtspiElement::value() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<std::string> {
        // A combo box without a value of its own tells its choice by its selected item, or
        // by its name.
        if (mapping_.value == ValueSource::none && node().role == ATSPI_ROLE_COMBO_BOX)
            return platform::shownOption(atspi, *snapshot_, node_);
        if (node().detailsKnown) {
            if (mapping_.value == ValueSource::text) return node().text;
            if (mapping_.value == ValueSource::number) return node().number ? std::optional(numberText(*node().number)) : std::nullopt;
        }
        return liveValue(atspi);
    });
}

std::optional<std::string> AtspiElement::currentValue() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<std::string> {
        return liveValue(atspi);
    });
}

std::optional<std::string> AtspiElement::liveText(AtspiConnection& atspi) {
    DBusConnection* bus = atspi.connection();
    if (!bus) return std::nullopt;
    DbusReply reply = DbusCall(snapshot_->busName(), node().path, "org.a11y.atspi.Text", "GetText")
                          .add(int32_t{0})
                          .add(wholeTextEnd(snapshot_->toolkit(atspi)))
                          .send(bus, kAtspiCallTimeoutMs);
    if (!reply.hasSignature("s")) return std::nullopt;
    return reply.reader().string();
}

std::optional<std::string> AtspiElement::liveValue(AtspiConnection& atspi) {
    switch (mapping_.value) {
        case ValueSource::none: return std::nullopt;
        case ValueSource::checked: return node().has(ATSPI_STATE_CHECKED) ? "1" : "0";
        case ValueSource::selected: return node().has(ATSPI_STATE_SELECTED) ? "1" : "0";
        case ValueSource::text: return liveText(atspi);
        case ValueSource::number: {
            DBusConnection* bus = atspi.connection();
            if (!bus) return std::nullopt;
            DbusReply reply =
                getProperty(bus, snapshot_->busName(), node().path, kValueDbus, "CurrentValue", kAtspiCallTimeoutMs);
            if (!reply.hasSignature("v")) return std::nullopt;
            return numberText(reply.reader().open().number());
        }
    }
    return std::nullopt;
}

std::optional<std::string> AtspiElement::placeholder() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<std::string> {
        if (node().detailsKnown) return node().placeholder;
        DBusConnection* bus = atspi.connection();
        if (!bus) return std::nullopt;
        DbusReply reply =
            DbusCall(snapshot_->busName(), node().path, kAccessibleDbus, "GetAttributes").send(bus, kAtspiCallTimeoutMs);
        if (!reply.hasSignature("a{ss}")) return std::nullopt;
        for (DbusReader entries = reply.reader().open(); !entries.atEnd();) {
            DbusReader entry = entries.open();
            if (entry.string() == "placeholder-text") return entry.string();
        }
        return std::nullopt;
    });
}

bool AtspiElement::enabled() {
    return snapshot_->bus().withLocked([&](AtspiConnection&) -> bool {
        // GTK 4 marks what can be used SENSITIVE only; the others set both.
        return node().has(ATSPI_STATE_ENABLED) || node().has(ATSPI_STATE_SENSITIVE);
    });
}

bool AtspiElement::editable() {
    return snapshot_->bus().withLocked([&](AtspiConnection&) { return node().has(ATSPI_STATE_EDITABLE); });
}

bool AtspiElement::enabledNow() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> bool {
        auto states = snapshot_->statesNow(atspi, node_);
        return states && (((*states >> ATSPI_STATE_ENABLED) & 1u) || ((*states >> ATSPI_STATE_SENSITIVE) & 1u));
    });
}

std::vector<ElementRef> AtspiElement::children() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::vector<ElementRef> {
        // Inside web content everything counts, as page content off screen does; elsewhere what
        // is not on screen (closed menus, hidden pages) and the menu bar, which the menu tools
        // reach, are left out.
        bool inside = insideWebArea_ || mapping_.role == ElementRole::webArea;
        std::vector<int> nodes = snapshot_->childrenOf(atspi, node_);
        std::vector<bool> shown = inside ? std::vector<bool>(nodes.size(), true) : shownOnScreen(atspi, *snapshot_, nodes);
        std::vector<int> kept;
        for (size_t i = 0; i < nodes.size(); ++i) {
            if (shown[i] && (inside || snapshot_->node(nodes[i]).role != ATSPI_ROLE_MENU_BAR)) kept.push_back(nodes[i]);
        }
        // A scan asks each child for its name and its press action next: asked here for all
        // of them at once, that costs a round trip or two instead of two for every child.
        snapshot_->readPressActions(atspi, kept);
        readLabels(atspi, *snapshot_, kept);
        std::vector<std::optional<int>> rows =
            inside ? std::vector<std::optional<int>>(kept.size()) : rowsInTable(atspi, *snapshot_, node_, kept);
        readCellsWithin(atspi, kept, rows);
        std::vector<ElementRef> children;
        children.reserve(kept.size());
        for (size_t i = 0; i < kept.size(); ++i) {
            auto child = std::make_shared<AtspiElement>(snapshot_, kept[i], inside);
            child->tableRow_ = rows[i];
            children.push_back(std::move(child));
        }
        return children;
    });
}

void AtspiElement::readCellsWithin(AtspiConnection& atspi, const std::vector<int>& kept,
                                   const std::vector<std::optional<int>>& rows) {
    // A table's cells that hold cells (a column of an icon and a name) are read with the
    // table: cell by cell, a long list would cost a few round trips for every row.
    std::vector<int> holders;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (rows[i] && snapshot_->node(kept[i]).childCount > 0) holders.push_back(kept[i]);
    }
    if (holders.empty()) return;
    snapshot_->readChildrenOf(atspi, holders);
    std::vector<int> inner;
    for (int holder : holders) {
        const std::vector<int>& cells = snapshot_->node(holder).children;
        inner.insert(inner.end(), cells.begin(), cells.end());
    }
    snapshot_->readPressActions(atspi, inner);
    readLabels(atspi, *snapshot_, inner);
}

std::optional<int> AtspiElement::pressActionIndex(AtspiConnection& atspi, std::optional<AccessibilityError>& error) {
    if (!(node().interfaces & kActionInterface)) return std::nullopt;
    DBusConnection* bus = atspi.connection();
    if (!bus) {
        error = AccessibilityError::cannotComplete;
        return std::nullopt;
    }
    PressActionLookup found = snapshot_->livePressAction(atspi, node_);
    if (!found.errorName.empty()) error = errorFor(found.errorName, AccessibilityError::actionUnsupported);
    return found.index;
}

bool AtspiElement::offersPress() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> bool {
        if (node().pressActionKnown) return node().pressAction.has_value();
        std::optional<AccessibilityError> ignored;
        return pressActionIndex(atspi, ignored).has_value();
    });
}

std::optional<Frame> AtspiElement::frameOnScreen() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<Frame> {
        DBusConnection* bus = atspi.connection();
        if (!bus || !(node().interfaces & kComponentInterface)) return std::nullopt;
        // Asked now rather than taken from the snapshot: a menu opened since shows its items.
        auto states = snapshot_->statesNow(atspi, node_);
        if (!states || !((*states >> ATSPI_STATE_SHOWING) & 1u) || !((*states >> ATSPI_STATE_VISIBLE) & 1u))
            return std::nullopt;
        auto frame = extentsFrom(askScreenExtents(bus, snapshot_->busName(), node().path).wait());
        if (!frame || !onScreen(*frame)) return std::nullopt;
        return onScreenFrom(*frame);
    });
}

std::optional<Frame> AtspiElement::onScreenFrom(Frame reported) {
    const auto& windowOrigin = snapshot_->rules().windowOrigin;
    if (!windowOrigin) return reported;
    // Relative to the element's top-level window, the application's child it lies in.
    int window = node_;
    while (snapshot_->node(window).parent >= 0 && snapshot_->node(snapshot_->node(window).parent).parent >= 0)
        window = snapshot_->node(window).parent;
    auto origin = windowOrigin(snapshot_->pid(), snapshot_->node(window).name);
    if (!origin) return std::nullopt;
    reported.x += origin->x;
    reported.y += origin->y;
    return reported;
}

std::optional<AccessibleElement::Placement> AtspiElement::placement() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<Placement> {
        DBusConnection* bus = atspi.connection();
        if (!bus || !(node().interfaces & kComponentInterface)) return std::nullopt;
        // The element and every ancestor below the application, asked for at once.
        std::vector<PendingReply> asked;
        asked.push_back(askScreenExtents(bus, snapshot_->busName(), node().path));
        int steps = 0;
        // A combo box's list pops up outside the combo box and its window: nothing from
        // the combo box up clips it.
        for (int up = node().parent; up >= 0 && up != snapshot_->root() && steps < kMaxAncestors &&
                                     snapshot_->node(up).role != ATSPI_ROLE_COMBO_BOX;
             up = snapshot_->node(up).parent, ++steps) {
            if (snapshot_->node(up).interfaces & kComponentInterface)
                asked.push_back(askScreenExtents(bus, snapshot_->busName(), snapshot_->node(up).path));
        }
        auto frame = extentsFrom(asked.front().wait());
        if (frame && !onScreen(*frame)) frame.reset();
        std::optional<Frame> shown;
        for (size_t i = 1; i < asked.size(); ++i) {
            auto area = extentsFrom(asked[i].wait());
            // Containers without a place of their own (rows of some toolkits) clip nothing.
            if (!area || !onScreen(*area)) continue;
            shown = shown ? overlapOf(*shown, *area) : *area;
        }
        if (!shown) return std::nullopt;
        auto shownThere = onScreenFrom(*shown);
        if (!shownThere) return std::nullopt;
        return Placement{frame ? onScreenFrom(*frame) : std::nullopt, *shownThere};
    });
}

bool AtspiElement::scrollToVisible() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> bool {
        DBusConnection* bus = atspi.connection();
        if (!bus || !(node().interfaces & kComponentInterface)) return false;
        return !outcome(DbusCall(snapshot_->busName(), node().path, "org.a11y.atspi.Component", "ScrollTo")
                            .add(uint32_t{ATSPI_SCROLL_ANYWHERE})
                            .send(bus, kAtspiCallTimeoutMs),
                        AccessibilityError::actionUnsupported);
    });
}

std::optional<bool> AtspiElement::selected() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<bool> {
        auto states = snapshot_->statesNow(atspi, node_);
        if (!states || !((*states >> ATSPI_STATE_SELECTABLE) & 1u)) return std::nullopt;
        return static_cast<bool>((*states >> ATSPI_STATE_SELECTED) & 1u);
    });
}

bool AtspiElement::focused() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> bool {
        auto states = snapshot_->statesNow(atspi, node_);
        return states && ((*states >> ATSPI_STATE_FOCUSED) & 1u);
    });
}

std::optional<AccessibilityError> AtspiElement::attemptPress() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<AccessibilityError> {
        DBusConnection* bus = atspi.connection();
        if (!bus) return AccessibilityError::cannotComplete;
        std::optional<AccessibilityError> error;
        if (auto index = pressActionIndex(atspi, error)) {
            if (!snapshot_->rules().awaitPressAnswer) {
                DbusCall(snapshot_->busName(), node().path, kActionDbus, "DoAction")
                    .add(int32_t{*index})
                    .sendWithoutReply(bus);
                return std::nullopt;
            }
            return outcome(DbusCall(snapshot_->busName(), node().path, kActionDbus, "DoAction")
                               .add(int32_t{*index})
                               .send(bus, kAtspiCallTimeoutMs),
                           AccessibilityError::actionUnsupported);
        }
        if (error) return error;
        // Tabs have no action of their own: pressing one selects it in its tab list.
        int parent = node().parent;
        if (parent >= 0 && (snapshot_->node(parent).interfaces & kSelectionInterface) && node().indexInParent >= 0) {
            return outcome(DbusCall(snapshot_->busName(), snapshot_->node(parent).path, "org.a11y.atspi.Selection",
                                    "SelectChild")
                               .add(int32_t{node().indexInParent})
                               .send(bus, kAtspiCallTimeoutMs),
                           AccessibilityError::actionUnsupported);
        }
        return AccessibilityError::actionUnsupported;
    });
}

std::optional<AccessibilityError> AtspiElement::attemptFocus() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<AccessibilityError> {
        DBusConnection* bus = atspi.connection();
        if (!bus) return AccessibilityError::cannotComplete;
        if (!(node().interfaces & kComponentInterface)) return AccessibilityError::attributeUnsupported;
        return outcome(DbusCall(snapshot_->busName(), node().path, "org.a11y.atspi.Component", "GrabFocus")
                           .send(bus, kAtspiCallTimeoutMs),
                       AccessibilityError::attributeUnsupported);
    });
}

std::optional<AccessibilityError> AtspiElement::attemptSetValue(const ElementValue& value) {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<AccessibilityError> {
        if (const double* number = std::get_if<double>(&value)) {
            if (node().interfaces & kValueInterface) return setNumber(atspi, *number);
            if (node().interfaces & kEditableTextInterface) return setText(atspi, numberText(*number));
            return AccessibilityError::attributeUnsupported;
        }
        const std::string& text = std::get<std::string>(value);
        if (node().interfaces & kEditableTextInterface) return setText(atspi, text);
        if (node().interfaces & kValueInterface) {
            char* end = nullptr;
            double number = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(number)) return AccessibilityError::illegalArgument;
            return setNumber(atspi, number);
        }
        return AccessibilityError::attributeUnsupported;
    });
}

bool AtspiElement::pressHeldByModalDialogs() {
    // GTK 4 answers an action before it runs the handler.
    return snapshot_->bus().withLocked(
        [&](AtspiConnection& atspi) { return snapshot_->toolkit(atspi) != AtspiToolkit::gtk4; });
}

ElementRef AtspiElement::option(const std::string& name) {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> ElementRef {
        auto item = optionNode(atspi, *snapshot_, node_, name);
        if (!item) return nullptr;
        return std::make_shared<AtspiElement>(snapshot_, *item, insideWebArea_);
    });
}

ElementRef AtspiElement::poppedUpOption(const std::string& name) {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> ElementRef {
        auto item = poppedUpOptionNode(atspi, *snapshot_, node_, name);
        if (!item) return nullptr;
        // The popup belongs to the browser, not to the page.
        return std::make_shared<AtspiElement>(snapshot_, *item, false);
    });
}

std::optional<std::string> AtspiElement::shownOption() {
    return snapshot_->bus().withLocked(
        [&](AtspiConnection& atspi) { return platform::shownOption(atspi, *snapshot_, node_); });
}

Result<void> AtspiElement::selectOption(const std::string& name) {
    auto error = snapshot_->bus().withLocked(
        [&](AtspiConnection& atspi) { return platform::selectOption(atspi, *snapshot_, node_, name); });
    if (error) return refused(ElementAction::selectOption, *error);
    return succeeded();
}

Result<void> AtspiElement::press() {
    if (auto error = attemptPress()) return refused(ElementAction::press, *error);
    return succeeded();
}

ElementRef AtspiElement::cellAt(int row, int column) {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> ElementRef {
        DBusConnection* bus = atspi.connection();
        if (!bus || !(node().interfaces & kTableInterface) || row < 0 || column < 0) return nullptr;
        DbusReply reply = platform::cellAt(bus, snapshot_->busName(), node().path, row, column);
        if (!reply.hasSignature("(so)")) return nullptr;
        DbusReader reference = reply.reader().open();
        if (reference.string() != snapshot_->busName()) return nullptr;
        auto cell = snapshot_->nodeAt(atspi, reference.string(), node_);
        if (!cell) return nullptr;
        return std::make_shared<AtspiElement>(snapshot_, *cell, insideWebArea_);
    });
}

std::optional<std::string> AtspiElement::shownText() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::optional<std::string> {
        if (!(node().interfaces & kTextInterface)) return std::nullopt;
        return liveText(atspi);
    });
}

Result<void> AtspiElement::focus() {
    if (auto error = attemptFocus()) return refused(ElementAction::focus, *error);
    return succeeded();
}

Result<void> AtspiElement::setValue(const ElementValue& value) {
    if (auto error = attemptSetValue(value)) return refused(ElementAction::setValue, *error);
    return succeeded();
}

std::optional<AccessibilityError> AtspiElement::setText(AtspiConnection& atspi, const std::string& text) {
    DBusConnection* bus = atspi.connection();
    if (!bus) return AccessibilityError::cannotComplete;
    return outcome(DbusCall(snapshot_->busName(), node().path, "org.a11y.atspi.EditableText", "SetTextContents")
                       .add(text)
                       .send(bus, kAtspiCallTimeoutMs),
                   AccessibilityError::attributeUnsupported);
}

std::optional<AccessibilityError> AtspiElement::setNumber(AtspiConnection& atspi, double number) {
    DBusConnection* bus = atspi.connection();
    if (!bus) return AccessibilityError::cannotComplete;
    DbusReply reply = DbusCall(snapshot_->busName(), node().path, DBUS_INTERFACE_PROPERTIES, "Set")
                          .add(std::string(kValueDbus))
                          .add(std::string("CurrentValue"))
                          .addVariant(number)
                          .send(bus, kAtspiCallTimeoutMs);
    if (!reply.ok()) return errorFor(reply.errorName(), AccessibilityError::attributeUnsupported);
    return std::nullopt;
}

std::vector<int> AtspiApplicationElement::windowNodes(AtspiConnection& atspi) {
    std::vector<int> windows;
    if (snapshot_->root() < 0) return windows;
    for (int child : snapshot_->childrenOf(atspi, snapshot_->root())) {
        // Hidden top-levels are not windows the user has; minimised ones still are.
        if (snapshot_->node(child).has(ATSPI_STATE_VISIBLE)) windows.push_back(child);
    }
    return windows;
}

ElementRef AtspiApplicationElement::focusedWindow() {
    std::optional<std::string> focusedName;
    bool compositorSays = false;
    if (const auto& name = snapshot_->rules().focusedWindowName) compositorSays = true, focusedName = name(snapshot_->pid());
    ElementRef active = snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> ElementRef {
        if (compositorSays) {
            if (!focusedName) return nullptr;
            if (ElementRef named = windowNamed(atspi, *focusedName)) return named;
        }
        for (int window : windowNodes(atspi)) {
            if (snapshot_->node(window).has(ATSPI_STATE_ACTIVE)) return windowElement(window);
        }
        return nullptr;
    });
    const auto& managerSays = snapshot_->rules().managerFocusedWindowName;
    if (active || compositorSays || !managerSays) return active;
    // Asked outside the bus lock: the window manager's connection has a lock of its own.
    auto managerName = managerSays(snapshot_->pid());
    if (!managerName) return nullptr;
    return snapshot_->bus().withLocked(
        [&](AtspiConnection& atspi) -> ElementRef { return windowNamed(atspi, *managerName); });
}

ElementRef AtspiApplicationElement::windowNamed(AtspiConnection& atspi, const std::string& name) {
    for (int window : windowNodes(atspi)) {
        if (snapshot_->node(window).name == name) return windowElement(window);
    }
    return nullptr;
}

std::vector<ElementRef> AtspiApplicationElement::windows() {
    return snapshot_->bus().withLocked([&](AtspiConnection& atspi) -> std::vector<ElementRef> {
        std::vector<ElementRef> windows;
        for (int window : windowNodes(atspi)) windows.push_back(windowElement(window));
        return windows;
    });
}

ElementRef AtspiApplicationElement::windowElement(int node) {
    ElementRef& element = windowElements_[node];
    if (!element) element = std::make_shared<AtspiElement>(snapshot_, node, false);
    return element;
}

ElementRef AtspiApplicationElement::focusedElement() {
    return snapshot_->bus().withLocked([&](AtspiConnection&) -> ElementRef {
        for (int i = 0; i < snapshot_->size(); ++i) {
            if (i != snapshot_->root() && snapshot_->node(i).has(ATSPI_STATE_FOCUSED))
                return std::make_shared<AtspiElement>(snapshot_, i, false);
        }
        return nullptr;
    });
}

}  // namespace velmor::platform
