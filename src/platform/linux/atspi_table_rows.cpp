#include "platform/linux/atspi_table_rows.h"

#include "platform/linux/atspi_roles.h"
#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

namespace velmor::platform {

namespace {

bool isTableEntry(uint32_t role) {
    switch (role) {
        case ATSPI_ROLE_TABLE_CELL:
        case ATSPI_ROLE_TABLE_ROW:
        case ATSPI_ROLE_TREE_ITEM:
        case ATSPI_ROLE_LIST_ITEM: return true;
        default: return false;
    }
}

}  // namespace

std::vector<std::optional<int>> rowsInTable(AtspiConnection& atspi, const AtspiSnapshot& snapshot, int table,
                                            const std::vector<int>& children) {
    std::vector<std::optional<int>> rows(children.size());
    DBusConnection* connection = atspi.connection();
    if (!connection || !(snapshot.node(table).interfaces & kTableInterface)) return rows;
    std::vector<std::optional<PendingReply>> asked(children.size());
    for (size_t i = 0; i < children.size(); ++i) {
        const AtspiNode& child = snapshot.node(children[i]);
        if (!isTableEntry(child.role) || child.indexInParent < 0) continue;
        asked[i].emplace(DbusCall(snapshot.busName(), snapshot.node(table).path, "org.a11y.atspi.Table", "GetRowAtIndex")
                             .add(int32_t{child.indexInParent})
                             .sendLater(connection, kAtspiCallTimeoutMs));
    }
    for (size_t i = 0; i < children.size(); ++i) {
        if (!asked[i]) continue;
        DbusReply reply = asked[i]->wait();
        if (!reply.hasSignature("i")) continue;
        // Headers answer -1; a hostile table may answer anything below.
        if (int row = reply.reader().int32(); row >= 0) rows[i] = row;
    }
    return rows;
}

}  // namespace velmor::platform
