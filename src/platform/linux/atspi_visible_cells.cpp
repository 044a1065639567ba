#include "platform/linux/atspi_visible_cells.h"

#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_extents.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <climits>
#include <set>

namespace velmor::platform {

namespace {

constexpr const char* kTableInterface = "org.a11y.atspi.Table";
// Points asked for along each edge of the visible area: enough that a header, a blank
// stretch below the last row or a merged cell at one of them leaves the others.
constexpr int kEdgePoints = 17;

struct Range {
    int first = INT_MAX;
    int last = -1;
    void include(int index) {
        first = std::min(first, index);
        last = std::max(last, index);
    }
    bool empty() const { return last < first; }
};

// The object's own bus name and path from a "(so)" reply; empty when it is on another bus.
std::string pathOn(const DbusReply& reply, const std::string& busName) {
    if (!reply.hasSignature("(so)")) return "";
    DbusReader reference = reply.reader().open();
    if (reference.string() != busName) return "";
    std::string path = reference.string();
    return path == "/org/a11y/atspi/null" ? "" : path;
}

}  // namespace

DbusReply cellAt(DBusConnection* bus, const std::string& busName, const std::string& gridPath, int row, int column) {
    return DbusCall(busName, gridPath, kTableInterface, "GetAccessibleAt")
        .add(int32_t{row})
        .add(int32_t{column})
        .send(bus, kAtspiCallTimeoutMs);
}

std::vector<DbusReply> visibleCells(DBusConnection* bus, const std::string& busName, const std::string& gridPath,
                                    size_t limit) {
    std::vector<DbusReply> cells;
    auto area = extentsFrom(askScreenExtents(bus, busName, gridPath).wait());
    if (!area || !onScreen(*area)) return cells;

    // Which cells lie at the points down both edges: one round trip for all points, one for
    // the cells' places in the grid, one for their rows and columns.
    std::vector<PendingReply> atPoints;
    for (int edge = 0; edge < 2; ++edge) {
        int x = edge == 0 ? area->x + 1 : area->x + area->width - 2;
        for (int k = 0; k < kEdgePoints; ++k) {
            int y = area->y + 1 + static_cast<int>(int64_t{area->height - 3} * k / (kEdgePoints - 1));
            atPoints.push_back(DbusCall(busName, gridPath, "org.a11y.atspi.Component", "GetAccessibleAtPoint")
                                   .add(int32_t{x})
                                   .add(int32_t{y})
                                   .add(uint32_t{ATSPI_COORD_TYPE_SCREEN})
                                   .sendLater(bus, kAtspiCallTimeoutMs));
        }
    }
    std::set<std::string> found;
    for (PendingReply& pending : atPoints) {
        std::string path = pathOn(pending.wait(), busName);
        if (!path.empty() && path != gridPath) found.insert(path);
    }
    std::vector<PendingReply> indices;
    for (const std::string& path : found) {
        indices.push_back(DbusCall(busName, path, "org.a11y.atspi.Accessible", "GetIndexInParent")
                              .sendLater(bus, kAtspiCallTimeoutMs));
    }
    std::vector<PendingReply> places;  // row and column of each, in turn
    for (PendingReply& pending : indices) {
        DbusReply index = pending.wait();
        if (!index.hasSignature("i")) continue;
        int32_t at = index.reader().int32();
        for (const char* method : {"GetRowAtIndex", "GetColumnAtIndex"})
            places.push_back(DbusCall(busName, gridPath, kTableInterface, method).add(at).sendLater(bus, kAtspiCallTimeoutMs));
    }
    Range rows, columns;
    for (size_t i = 0; i + 1 < places.size(); i += 2) {
        DbusReply row = places[i].wait(), column = places[i + 1].wait();
        if (!row.hasSignature("i") || !column.hasSignature("i")) continue;
        int r = row.reader().int32(), c = column.reader().int32();
        // A header or a filler answers no place in the grid.
        if (r < 0 || c < 0) continue;
        rows.include(r);
        columns.include(c);
    }
    if (rows.empty() || columns.empty()) return cells;

    std::vector<PendingReply> asked;
    for (int c = columns.first; c <= columns.last && asked.size() < limit; ++c) {
        asked.push_back(DbusCall(busName, gridPath, kTableInterface, "GetColumnHeader")
                            .add(int32_t{c})
                            .sendLater(bus, kAtspiCallTimeoutMs));
    }
    for (int r = rows.first; r <= rows.last && asked.size() < limit; ++r) {
        for (int c = columns.first; c <= columns.last && asked.size() < limit; ++c) {
            asked.push_back(DbusCall(busName, gridPath, kTableInterface, "GetAccessibleAt")
                                .add(int32_t{r})
                                .add(int32_t{c})
                                .sendLater(bus, kAtspiCallTimeoutMs));
        }
    }
    // A header that is no object of the application's (or none at all) is left out, and
    // a cell that spans several places is listed once.
    std::set<std::string> listed;
    for (PendingReply& pending : asked) {
        DbusReply reply = pending.wait();
        std::string path = pathOn(reply, busName);
        if (!path.empty() && listed.insert(path).second) cells.push_back(std::move(reply));
    }
    return cells;
}

}  // namespace velmor::platform
