#include "platform/linux/atspi_menu_entries.h"

#include "base/outside_text.h"
#include "base/text.h"
#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

namespace velmor::platform {

bool isMenuEntryRole(uint32_t role) {
    return role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_MENU_ITEM || role == ATSPI_ROLE_CHECK_MENU_ITEM ||
           role == ATSPI_ROLE_RADIO_MENU_ITEM || role == ATSPI_ROLE_TEAROFF_MENU_ITEM;
}

std::string menuName(const AtspiNode& node) { return outside_text::label(node.name); }

std::string inQuotes(const std::string& name) { return "\"" + name + "\""; }

int entryNamed(const AtspiSnapshot& snapshot, const std::vector<int>& entries, std::string_view step) {
    const std::string_view name = trimmed(step);
    for (int entry : entries)
        if (menuName(snapshot.node(entry)) == name) return entry;
    return -1;
}

std::string missingStep(const AtspiSnapshot& snapshot, int menu, std::string_view step) {
    const std::string name(trimmed(step));
    if (menu < 0) return "no menu " + inQuotes(name) + " in the menu bar";
    return "no menu item " + inQuotes(name) + " in " + inQuotes(menuName(snapshot.node(menu)));
}

Result<void> doMenuAction(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node) {
    constexpr const char* kActionDbus = "org.a11y.atspi.Action";
    DBusConnection* connection = atspi.connection();
    if (!connection) return fail(atspi.unavailable().value_or("accessibility bus not available"));
    const AtspiNode& n = snapshot.node(node);
    if (!snapshot.rules().awaitPressAnswer) {
        DbusCall(snapshot.busName(), n.path, kActionDbus, "DoAction").add(int32_t{0}).sendWithoutReply(connection);
        return succeeded();
    }
    DbusReply reply = DbusCall(snapshot.busName(), n.path, kActionDbus, "DoAction")
                          .add(int32_t{0})
                          .send(connection, kAtspiCallTimeoutMs);
    if (!reply.ok()) return fail(inQuotes(menuName(n)) + " cannot be chosen (" + reply.errorName() + ")");
    if (!reply.hasSignature("b") || !reply.reader().boolean()) return fail(inQuotes(menuName(n)) + " is not available");
    return succeeded();
}

}  // namespace velmor::platform
