#include "platform/linux/atspi_labels.h"

#include "platform/linux/atspi_visibility.h"
#include "platform/linux/dbus_message.h"
#include "platform/linux/widget_text.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <vector>

namespace velmor::platform {

namespace {

constexpr const char* kAccessibleDbus = "org.a11y.atspi.Accessible";
// A label made of many widgets is rare; a hostile relation list must not make a scan slow.
constexpr size_t kLabelTargets = 4;
// The longest label beside a control that names it.
constexpr size_t kNeighbourLabelLength = 60;
// How deep, and over how many objects, a button's own label is looked for.
constexpr int kLabelDepth = 4;
constexpr size_t kLabelSearch = 24;
// Options of a combo box compared with its name; a longer list is not read for that.
constexpr size_t kOptionsCompared = 64;

std::optional<std::string> usableName(AtspiToolkit toolkit, std::string name) {
    if (name.empty() || (toolkit == AtspiToolkit::gtk4 && isWidgetTypeName(name))) return std::nullopt;
    return name;
}

// GTK 4 names a labelled widget by its label followed by its own text: "7 7" for a key
// labelled 7, "Name: Ada" for an entry, which would change with every letter typed.
bool gtk4NameHidesLabel(const AtspiNode& node, const std::string& name) {
    switch (node.role) {
        case ATSPI_ROLE_TEXT:
        case ATSPI_ROLE_ENTRY:
        case ATSPI_ROLE_PASSWORD_TEXT:
        case ATSPI_ROLE_SPIN_BUTTON: return true;
        default: break;
    }
    size_t half = name.size() / 2;
    return name.size() % 2 == 1 && name[half] == ' ' && name.compare(0, half, name, half + 1, half) == 0;
}

// Whether the node's readable name comes from the widgets that label it: it has no usable
// name of its own, or its GTK 4 name only repeats the label. Most names are what they seem,
// so the relations are asked for only where they are not.
bool namedByLabel(AtspiToolkit toolkit, const AtspiNode& node) {
    auto own = usableName(toolkit, node.name);
    return !own || (toolkit == AtspiToolkit::gtk4 && gtk4NameHidesLabel(node, *own));
}

// The roles whose names come from texts that carry a mnemonic: buttons, menus, tabs, and the
// fields and choices labels name. Cells, rows, links and text are content, whose markers are
// the characters themselves ("my_file.txt").
bool namedByMnemonicText(uint32_t role) {
    switch (role) {
        case ATSPI_ROLE_PUSH_BUTTON:
        case ATSPI_ROLE_PUSH_BUTTON_MENU:
        case ATSPI_ROLE_TOGGLE_BUTTON:
        case ATSPI_ROLE_CHECK_BOX:
        case ATSPI_ROLE_RADIO_BUTTON:
        case ATSPI_ROLE_MENU:
        case ATSPI_ROLE_MENU_ITEM:
        case ATSPI_ROLE_CHECK_MENU_ITEM:
        case ATSPI_ROLE_RADIO_MENU_ITEM:
        case ATSPI_ROLE_PAGE_TAB:
        case ATSPI_ROLE_COMBO_BOX:
        case ATSPI_ROLE_ENTRY:
        case ATSPI_ROLE_TEXT:
        case ATSPI_ROLE_PASSWORD_TEXT:
        case ATSPI_ROLE_SPIN_BUTTON:
        case ATSPI_ROLE_SLIDER: return true;
        default: return false;
    }
}

char mnemonicMarker(AtspiToolkit toolkit) {
    switch (toolkit) {
        case AtspiToolkit::gtk3:
        case AtspiToolkit::gtk4: return '_';
        case AtspiToolkit::qt: return '&';
        case AtspiToolkit::other: break;
    }
    return 0;
}

// The roles a label laid beside names: fields and choices.
bool namedByNeighbour(uint32_t role) {
    switch (role) {
        case ATSPI_ROLE_COMBO_BOX:
        case ATSPI_ROLE_ENTRY:
        case ATSPI_ROLE_TEXT:
        case ATSPI_ROLE_PASSWORD_TEXT:
        case ATSPI_ROLE_SPIN_BUTTON:
        case ATSPI_ROLE_SLIDER: return true;
        default: return false;
    }
}

// The label just before a field or a choice in its container ("Theme:" [Dark v]), for
// applications that lay a label beside a control without tying the two together. A longer
// text there is a sentence about something, not a name.
std::optional<std::string> labelBeside(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node) {
    int parent = snapshot.node(node).parent;
    if (!namedByNeighbour(snapshot.node(node).role) || parent < 0) return std::nullopt;
    const std::vector<int>& siblings = snapshot.childrenOf(atspi, parent);
    auto self = std::find(siblings.begin(), siblings.end(), node);
    if (self == siblings.begin() || self == siblings.end()) return std::nullopt;
    const AtspiNode& before = snapshot.node(*(self - 1));
    if (before.role != ATSPI_ROLE_LABEL || before.name.empty() || before.name.size() > kNeighbourLabelLength)
        return std::nullopt;
    return before.name;
}

// What a GTK 4 button left unnamed shows, because its label sits in a box of its own (the
// folder buttons of a file chooser's path bar): the one label a few levels below it. A
// button with a description is named by that instead; one with several labels, or none, by
// nothing here.
std::optional<std::string> labelWithin(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node) {
    uint32_t role = snapshot.node(node).role;
    if ((role != ATSPI_ROLE_PUSH_BUTTON && role != ATSPI_ROLE_TOGGLE_BUTTON) || !snapshot.node(node).description.empty())
        return std::nullopt;
    std::optional<std::string> found;
    std::vector<int> level = {node};
    size_t visited = 0;
    for (int depth = 0; depth < kLabelDepth && !level.empty(); ++depth) {
        std::vector<int> below;
        for (int parent : level) {
            // A copy: reading children may grow the snapshot.
            std::vector<int> children = snapshot.childrenOf(atspi, parent);
            // A drop-down keeps the labels of the choices it does not show in pages hidden below.
            std::vector<bool> shown = shownOnScreen(atspi, snapshot, children);
            for (size_t i = 0; i < children.size(); ++i) {
                if (++visited > kLabelSearch) return std::nullopt;
                if (!shown[i]) continue;
                int child = children[i];
                const AtspiNode& n = snapshot.node(child);
                if (n.role != ATSPI_ROLE_LABEL) {
                    below.push_back(child);
                    continue;
                }
                if (n.name.empty() || isWidgetTypeName(n.name)) continue;
                if (found) return std::nullopt;
                found = n.name;
            }
        }
        level = std::move(below);
    }
    return found;
}

}  // namespace

std::optional<std::string> comboChoice(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node) {
    // A copy: reading the children may grow the snapshot.
    const std::string name = snapshot.node(node).name;
    if (snapshot.node(node).role != ATSPI_ROLE_COMBO_BOX || name.empty()) return std::nullopt;
    std::vector<int> options = snapshot.childrenOf(atspi, node);
    // The options sit in a menu (GTK 3) or a list (Qt) below the combo box.
    for (size_t i = 0; i < options.size() && i < kOptionsCompared; ++i) {
        if (snapshot.node(options[i]).name == name) return name;
        uint32_t role = snapshot.node(options[i]).role;
        if (role != ATSPI_ROLE_MENU && role != ATSPI_ROLE_LIST && role != ATSPI_ROLE_LIST_BOX) continue;
        const std::vector<int>& items = snapshot.childrenOf(atspi, options[i]);
        for (size_t k = 0; k < items.size() && k < kOptionsCompared; ++k)
            if (snapshot.node(items[k]).name == name) return name;
    }
    return std::nullopt;
}

std::string shownText(AtspiToolkit toolkit, uint32_t role, const std::string& text) {
    std::string shown = withoutMarkup(text);
    char marker = mnemonicMarker(toolkit);
    if (marker && shown == text && namedByMnemonicText(role)) shown = withoutMnemonic(shown, marker);
    return shown;
}

void readLabels(AtspiConnection& atspi, AtspiSnapshot& snapshot, const std::vector<int>& nodes) {
    DBusConnection* bus = atspi.connection();
    if (!bus) return;
    AtspiToolkit toolkit = snapshot.toolkit(atspi);
    std::vector<int> asked;
    std::vector<PendingReply> relationSets;
    for (int node : nodes) {
        const AtspiNode& n = snapshot.node(node);
        // A combo box's own name may be its current choice: its label is asked for too.
        if (n.labelKnown || !(namedByLabel(toolkit, n) || n.role == ATSPI_ROLE_COMBO_BOX)) continue;
        asked.push_back(node);
        relationSets.push_back(
            DbusCall(snapshot.busName(), n.path, kAccessibleDbus, "GetRelationSet").sendLater(bus, kAtspiCallTimeoutMs));
    }
    // The labelling widgets' names, each asked of the application on its own (never all
    // properties at once, which crashes Qt 5), all of them in one more round.
    std::vector<std::vector<PendingReply>> names(asked.size());
    for (size_t i = 0; i < asked.size(); ++i) {
        DbusReply relations = relationSets[i].wait();
        if (!relations.hasSignature("a(ua(so))")) continue;
        const std::string& self = snapshot.node(asked[i]).path;
        for (DbusReader list = relations.reader().open(); !list.atEnd();) {
            DbusReader relation = list.open();
            if (relation.uint32() != ATSPI_RELATION_LABELLED_BY) continue;
            for (DbusReader targets = relation.open(); !targets.atEnd() && names[i].size() < kLabelTargets;) {
                DbusReader target = targets.open();
                std::string owner = target.string();
                std::string path = target.string();
                // A label in another process is not this window's.
                if (owner != snapshot.busName() || path == self) continue;
                names[i].push_back(DbusCall(owner, path, DBUS_INTERFACE_PROPERTIES, "Get")
                                       .add(std::string(kAccessibleDbus))
                                       .add(std::string("Name"))
                                       .sendLater(bus, kAtspiCallTimeoutMs));
            }
        }
    }
    for (size_t i = 0; i < asked.size(); ++i) {
        std::string joined;
        for (auto& pending : names[i]) {
            DbusReply reply = pending.wait();
            if (!reply.hasSignature("v")) continue;
            auto name = usableName(toolkit, reply.reader().open().string());
            if (name) joined += (joined.empty() ? "" : " ") + *name;
        }
        snapshot.rememberLabel(asked[i], joined.empty() ? std::nullopt : std::optional(joined));
    }
}

std::optional<std::string> readableName(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node, bool widgetText) {
    AtspiToolkit toolkit = snapshot.toolkit(atspi);
    auto own = usableName(toolkit, snapshot.node(node).name);
    bool choice = own && comboChoice(atspi, snapshot, node);
    std::optional<std::string> name = choice ? std::nullopt : own;
    if (choice || namedByLabel(toolkit, snapshot.node(node))) {
        readLabels(atspi, snapshot, {node});
        if (snapshot.node(node).label) name = snapshot.node(node).label;
        else if (!name) name = labelBeside(atspi, snapshot, node);
        if (!name && toolkit == AtspiToolkit::gtk4) name = labelWithin(atspi, snapshot, node);
    }
    if (!name || !widgetText) return name;
    return usableName(toolkit, shownText(toolkit, snapshot.node(node).role, *name));
}

}  // namespace velmor::platform
