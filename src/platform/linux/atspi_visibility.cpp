#include "platform/linux/atspi_visibility.h"

#include "platform/linux/atspi_extents.h"
#include "platform/linux/atspi_roles.h"
#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <optional>

namespace velmor::platform {

namespace {

bool empty(const Frame& area) { return area.width <= 0 || area.height <= 0; }

bool overlap(const Frame& a, const Frame& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

PendingReply askExtents(DBusConnection* bus, AtspiSnapshot& snapshot, int node) {
    // Screen coordinates for the window and its content alike, so that they compare
    // (GTK 4 answers relative to the window for both).
    return askScreenExtents(bus, snapshot.busName(), snapshot.node(node).path);
}

std::optional<Frame> areaOf(PendingReply& pending) { return extentsFrom(pending.wait()); }

std::vector<bool> shownInGtk4Window(AtspiConnection& atspi, AtspiSnapshot& snapshot, const std::vector<int>& children) {
    std::vector<bool> shown(children.size(), false);
    DBusConnection* bus = atspi.connection();
    int window = children.empty() ? -1 : snapshot.windowOf(children.front());
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
    std::optional<Frame> windowArea = windowExtents ? areaOf(*windowExtents) : std::nullopt;
    for (size_t i = 0; i < children.size(); ++i) {
        if (!extents[i]) continue;
        std::optional<Frame> area = areaOf(*extents[i]);
        shown[i] = area && !empty(*area) && (!windowArea || overlap(*area, *windowArea));
    }
    return shown;
}

}  // namespace

std::vector<bool> shownOnScreen(AtspiConnection& atspi, AtspiSnapshot& snapshot, const std::vector<int>& children) {
    if (snapshot.toolkit(atspi) == AtspiToolkit::gtk4) return shownInGtk4Window(atspi, snapshot, children);
    std::vector<bool> shown;
    shown.reserve(children.size());
    for (int child : children) shown.push_back(snapshot.node(child).has(ATSPI_STATE_SHOWING));
    return shown;
}

}  // namespace velmor::platform
