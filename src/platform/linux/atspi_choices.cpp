#include "platform/linux/atspi_choices.h"

#include "platform/linux/atspi_roles.h"
#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

#include <vector>

namespace velmor::platform {

namespace {

constexpr const char* kSelectionDbus = "org.a11y.atspi.Selection";
// A hostile list of thousands is not searched to its end.
constexpr size_t kOptionsSearched = 500;

// The combo box's options in order: the children of the menu or list below it.
std::vector<int> optionNodes(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo) {
    std::vector<int> options;
    // Copied: reading children may grow the snapshot.
    std::vector<int> below = snapshot.childrenOf(atspi, combo);
    for (int holder : below) {
        uint32_t role = snapshot.node(holder).role;
        if (role != ATSPI_ROLE_MENU && role != ATSPI_ROLE_LIST && role != ATSPI_ROLE_LIST_BOX) continue;
        std::vector<int> items = snapshot.childrenOf(atspi, holder);
        for (size_t i = 0; i < items.size() && options.size() < kOptionsSearched; ++i) options.push_back(items[i]);
        break;
    }
    return options;
}

std::optional<std::string> liveName(DBusConnection* bus, const std::string& busName, const std::string& path) {
    DbusReply reply = getProperty(bus, busName, path, "org.a11y.atspi.Accessible", "Name", kAtspiCallTimeoutMs);
    if (!reply.hasSignature("v")) return std::nullopt;
    return reply.reader().open().string();
}

}  // namespace

std::optional<int> optionNode(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo, const std::string& option) {
    for (int item : optionNodes(atspi, snapshot, combo)) {
        if (snapshot.node(item).name == option) return item;
    }
    return std::nullopt;
}

std::optional<std::string> shownOption(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo) {
    DBusConnection* bus = atspi.connection();
    if (!bus) return std::nullopt;
    const std::string& busName = snapshot.busName();
    const std::string path = snapshot.node(combo).path;
    if (snapshot.node(combo).interfaces & kSelectionInterface) {
        DbusReply selected =
            DbusCall(busName, path, kSelectionDbus, "GetSelectedChild").add(int32_t{0}).send(bus, kAtspiCallTimeoutMs);
        if (selected.hasSignature("(so)")) {
            DbusReader reference = selected.reader().open();
            std::string itemBus = reference.string();
            std::string itemPath = reference.string();
            // A hostile application may point anywhere: only its own objects are asked.
            if (itemBus == busName && itemPath != "/org/a11y/atspi/null") {
                if (auto name = liveName(bus, busName, itemPath); name && !name->empty()) return name;
            }
        }
    }
    auto own = liveName(bus, busName, path);
    if (!own || own->empty()) return std::nullopt;
    for (int item : optionNodes(atspi, snapshot, combo)) {
        if (snapshot.node(item).name == *own) return own;
    }
    return std::nullopt;
}

std::optional<AccessibilityError> selectOption(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo,
                                               const std::string& option) {
    DBusConnection* bus = atspi.connection();
    if (!bus) return AccessibilityError::cannotComplete;
    if (!(snapshot.node(combo).interfaces & kSelectionInterface)) return AccessibilityError::actionUnsupported;
    std::vector<int> options = optionNodes(atspi, snapshot, combo);
    for (size_t index = 0; index < options.size(); ++index) {
        if (snapshot.node(options[index]).name != option) continue;
        DbusReply reply = DbusCall(snapshot.busName(), snapshot.node(combo).path, kSelectionDbus, "SelectChild")
                              .add(static_cast<int32_t>(index))
                              .send(bus, kAtspiCallTimeoutMs);
        if (!reply.ok()) return AccessibilityError::actionUnsupported;
        if (!reply.hasSignature("b") || !reply.reader().boolean()) return AccessibilityError::failure;
        return std::nullopt;
    }
    return AccessibilityError::illegalArgument;
}

}  // namespace velmor::platform
