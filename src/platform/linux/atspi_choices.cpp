#include "platform/linux/atspi_choices.h"

#include "platform/linux/atspi_roles.h"
#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

#include <vector>

namespace velmor::platform {

namespace {

constexpr const char* kAccessibleDbus = "org.a11y.atspi.Accessible";
constexpr const char* kSelectionDbus = "org.a11y.atspi.Selection";
// A hostile list of thousands is not searched to its end.
constexpr size_t kOptionsSearched = 500;
// Nor are the children of a window that holds thousands.
constexpr size_t kPopupsSearched = 100;

std::optional<std::string> liveName(DBusConnection* bus, const std::string& busName, const std::string& path) {
    DbusReply reply = getProperty(bus, busName, path, kAccessibleDbus, "Name", kAtspiCallTimeoutMs);
    if (!reply.hasSignature("v")) return std::nullopt;
    return reply.reader().open().string();
}

// The name of the item that the Selection of the object at `path` holds first; nothing when
// it holds none or has no name.
std::optional<std::string> selectedName(DBusConnection* bus, const std::string& busName, const std::string& path) {
    DbusReply selected =
        DbusCall(busName, path, kSelectionDbus, "GetSelectedChild").add(int32_t{0}).send(bus, kAtspiCallTimeoutMs);
    if (!selected.hasSignature("(so)")) return std::nullopt;
    DbusReader reference = selected.reader().open();
    std::string itemBus = reference.string();
    std::string itemPath = reference.string();
    // A hostile application may point anywhere: only its own objects are asked.
    if (itemBus != busName || itemPath == "/org/a11y/atspi/null") return std::nullopt;
    auto name = liveName(bus, busName, itemPath);
    if (!name || name->empty()) return std::nullopt;
    return name;
}

// The name of the first of `options` whose state, asked now, says it is selected.
std::optional<std::string> selectedOptionName(DBusConnection* bus, AtspiSnapshot& snapshot,
                                              const std::vector<int>& options) {
    std::vector<PendingReply> states;
    states.reserve(options.size());
    for (int option : options)
        states.push_back(DbusCall(snapshot.busName(), snapshot.node(option).path, kAccessibleDbus, "GetState")
                             .sendLater(bus, kAtspiCallTimeoutMs));
    static_assert(ATSPI_STATE_SELECTED < 32, "read from the first word of the states");
    std::optional<std::string> selected;
    // Every reply is waited for, also after the selected one: none is left pending.
    for (size_t i = 0; i < options.size(); ++i) {
        DbusReply reply = states[i].wait();
        if (selected || !reply.hasSignature("au")) continue;
        const uint32_t low = reply.reader().open().uint32();
        const std::string& name = snapshot.node(options[i]).name;
        if ((low >> ATSPI_STATE_SELECTED) & 1u && !name.empty()) selected = name;
    }
    return selected;
}

// The menu or list below the combo box that holds its options.
std::optional<int> optionHolder(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo) {
    // Copied: reading children may grow the snapshot.
    std::vector<int> below = snapshot.childrenOf(atspi, combo);
    for (int holder : below) {
        uint32_t role = snapshot.node(holder).role;
        if (role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_LIST || role == ATSPI_ROLE_LIST_BOX) return holder;
    }
    return std::nullopt;
}

// The options in order: the children of the menu or list that holds them.
std::vector<int> optionsIn(AtspiConnection& atspi, AtspiSnapshot& snapshot, std::optional<int> holder) {
    std::vector<int> options;
    if (!holder) return options;
    const std::vector<int>& items = snapshot.childrenOf(atspi, *holder);
    for (size_t i = 0; i < items.size() && options.size() < kOptionsSearched; ++i) options.push_back(items[i]);
    return options;
}

}  // namespace

std::optional<int> optionNode(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo, const std::string& option) {
    for (int item : optionsIn(atspi, snapshot, optionHolder(atspi, snapshot, combo))) {
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
        if (auto name = selectedName(bus, busName, path)) return name;
    }
    const std::vector<int> options = optionsIn(atspi, snapshot, optionHolder(atspi, snapshot, combo));
    if (auto own = liveName(bus, busName, path); own && !own->empty()) {
        for (int item : options) {
            if (snapshot.node(item).name == *own) return own;
        }
    }
    // Firefox names a page's select by its label and marks the choice among the options
    // below it. The Selection of the list that holds them is not asked: Firefox may crash
    // when it is asked while the list opens or closes.
    return selectedOptionName(bus, snapshot, options);
}

std::optional<int> poppedUpOptionNode(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo,
                                      const std::string& option) {
    DBusConnection* bus = atspi.connection();
    if (!bus) return std::nullopt;
    int window = snapshot.windowOf(combo);
    if (window < 0) return std::nullopt;
    // Asked now: the popup came after the snapshot was read.
    DbusReply children = DbusCall(snapshot.busName(), snapshot.node(window).path, kAccessibleDbus, "GetChildren")
                             .send(bus, kAtspiCallTimeoutMs);
    if (!children.hasSignature("a(so)")) return std::nullopt;
    std::vector<std::string> paths;
    for (DbusReader list = children.reader().open(); !list.atEnd() && paths.size() < kPopupsSearched;) {
        DbusReader reference = list.open();
        // A hostile application may point anywhere: only its own objects are asked.
        if (reference.string() == snapshot.busName()) paths.push_back(reference.string());
    }
    for (const auto& path : paths) {
        auto popup = snapshot.nodeAt(atspi, path, window);
        if (!popup || *popup == combo || snapshot.node(*popup).role != ATSPI_ROLE_COMBO_BOX) continue;
        if (auto item = optionNode(atspi, snapshot, *popup, option)) return item;
    }
    return std::nullopt;
}

std::optional<AccessibilityError> selectOption(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo,
                                               const std::string& option) {
    DBusConnection* bus = atspi.connection();
    if (!bus) return AccessibilityError::cannotComplete;
    if (!(snapshot.node(combo).interfaces & kSelectionInterface)) return AccessibilityError::actionUnsupported;
    std::vector<int> options = optionsIn(atspi, snapshot, optionHolder(atspi, snapshot, combo));
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
