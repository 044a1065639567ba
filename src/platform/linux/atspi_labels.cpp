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

// The names of the widgets that label the node, joined by blanks, each asked of the
// application on its own (never all properties at once, which crashes Qt 5).
std::optional<std::string> labellingName(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node) {
    DBusConnection* bus = atspi.connection();
    if (!bus) return std::nullopt;
    DbusReply relations = DbusCall(snapshot.busName(), snapshot.node(node).path, kAccessibleDbus, "GetRelationSet")
                              .send(bus, kAtspiCallTimeoutMs);
    if (!relations.hasSignature("a(ua(so))")) return std::nullopt;
    std::vector<PendingReply> names;
    for (DbusReader list = relations.reader().open(); !list.atEnd();) {
        DbusReader relation = list.open();
        if (relation.uint32() != ATSPI_RELATION_LABELLED_BY) continue;
        for (DbusReader targets = relation.open(); !targets.atEnd() && names.size() < kLabelTargets;) {
            DbusReader target = targets.open();
            std::string owner = target.string();
            std::string path = target.string();
            // A label in another process is not this window's.
            if (owner != snapshot.busName() || path == snapshot.node(node).path) continue;
            names.push_back(DbusCall(owner, path, DBUS_INTERFACE_PROPERTIES, "Get")
                                .add(std::string(kAccessibleDbus))
                                .add(std::string("Name"))
                                .sendLater(bus, kAtspiCallTimeoutMs));
        }
    }
    std::string joined;
    for (auto& pending : names) {
        DbusReply reply = pending.wait();
        if (!reply.hasSignature("v")) continue;
        auto name = usableName(snapshot.toolkit(atspi), reply.reader().open().string());
        if (name) joined += (joined.empty() ? "" : " ") + *name;
    }
    if (joined.empty()) return std::nullopt;
    return joined;
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

}  // namespace

std::optional<std::string> readableName(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node) {
    AtspiToolkit toolkit = snapshot.toolkit(atspi);
    const AtspiNode& n = snapshot.node(node);
    auto own = usableName(toolkit, n.name);
    // Most names are what they seem; the relations are asked for only where they are not.
    if (own && (toolkit != AtspiToolkit::gtk4 || !gtk4NameHidesLabel(n, *own))) return own;
    if (auto label = labellingName(atspi, snapshot, node)) return label;
    return own;
}

}  // namespace velmor::platform
