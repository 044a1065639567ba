#include "platform/linux/atspi_labels.h"

#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

#include <vector>

namespace velmor::platform {

namespace {

constexpr const char* kAccessibleDbus = "org.a11y.atspi.Accessible";
// A label made of many widgets is rare; a hostile relation list must not make a scan slow.
constexpr size_t kLabelTargets = 4;

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

}  // namespace

void readLabels(AtspiConnection& atspi, AtspiSnapshot& snapshot, const std::vector<int>& nodes) {
    DBusConnection* bus = atspi.connection();
    if (!bus) return;
    AtspiToolkit toolkit = snapshot.toolkit(atspi);
    std::vector<int> asked;
    std::vector<PendingReply> relationSets;
    for (int node : nodes) {
        const AtspiNode& n = snapshot.node(node);
        if (n.labelKnown || !namedByLabel(toolkit, n)) continue;
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

std::optional<std::string> readableName(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node) {
    AtspiToolkit toolkit = snapshot.toolkit(atspi);
    auto own = usableName(toolkit, snapshot.node(node).name);
    if (!namedByLabel(toolkit, snapshot.node(node))) return own;
    readLabels(atspi, snapshot, {node});
    const auto& label = snapshot.node(node).label;
    return label ? label : own;
}

}  // namespace velmor::platform
