#include "platform/linux/atspi_visibility.h"

#include "platform/linux/atspi_roles.h"
#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <optional>

namespace velmor::platform {

namespace {

struct Area {
    int x = 0, y = 0, width = 0, height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    bool overlaps(const Area& other) const {
        return x < other.x + other.width && other.x < x + width && y < other.y + other.height &&
               other.y < y + height;
    }
};

PendingReply askExtents(DBusConnection* bus, AtspiSnapshot& snapshot, int node) {
    // Screen coordinates for the window and its content alike, so that they compare
    // (GTK 4 answers relative to the window for both).
    return DbusCall(snapshot.busName(), snapshot.node(node).path, "org.a11y.atspi.Component", "GetExtents")
        .add(uint32_t{ATSPI_COORD_TYPE_SCREEN})
        .sendLater(bus, kAtspiCallTimeoutMs);
}

std::optional<Area> areaOf(PendingReply& pending) {
    DbusReply reply = pending.wait();
    if (!reply.hasSignature("(iiii)")) return std::nullopt;
    DbusReader box = reply.reader().open();
    Area area;
    area.x = box.int32();
    area.y = box.int32();
    area.width = box.int32();
    area.height = box.int32();
    return area;
}

// The top-level window a node belongs to; -1 when it hangs below no window.
int windowOf(const AtspiSnapshot& snapshot, int node) {
    while (node >= 0 && snapshot.node(node).parent != snapshot.root()) node = snapshot.node(node).parent;
    return node;
}

std::vector<bool> shownInGtk4Window(AtspiSnapshot& snapshot, const std::vector<int>& children) {
    std::vector<bool> shown(children.size(), false);
    DBusConnection* bus = snapshot.bus().connection();
    int window = children.empty() ? -1 : windowOf(snapshot, children.front());
    if (!bus || window < 0) return shown;

    // All asked for at once: one round trip for the window and every child.
    std::optional<PendingReply> windowExtents;
    if (snapshot.node(window).interfaces & kComponentInterface) windowExtents.emplace(askExtents(bus, snapshot, window));
    std::vector<std::optional<PendingReply>> extents;
    extents.reserve(children.size());
    for (int child : children) {
        const AtspiNode& node = snapshot.node(child);
        bool candidate = node.has(ATSPI_STATE_VISIBLE) && (node.interfaces & kComponentInterface);
        extents.push_back(candidate ? std::optional(askExtents(bus, snapshot, child)) : std::nullopt);
    }
    std::optional<Area> windowArea = windowExtents ? areaOf(*windowExtents) : std::nullopt;
    for (size_t i = 0; i < children.size(); ++i) {
        if (!extents[i]) continue;
        std::optional<Area> area = areaOf(*extents[i]);
        shown[i] = area && !area->empty() && (!windowArea || area->overlaps(*windowArea));
    }
    return shown;
}

}  // namespace

std::vector<bool> shownOnScreen(AtspiSnapshot& snapshot, const std::vector<int>& children) {
    if (snapshot.toolkit() == AtspiToolkit::gtk4) return shownInGtk4Window(snapshot, children);
    std::vector<bool> shown;
    shown.reserve(children.size());
    for (int child : children) shown.push_back(snapshot.node(child).has(ATSPI_STATE_SHOWING));
    return shown;
}

}  // namespace velmor::platform
