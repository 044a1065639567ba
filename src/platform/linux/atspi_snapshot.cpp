#include "platform/linux/atspi_snapshot.h"

#include "platform/linux/atspi_roles.h"
#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

#include <algorithm>

namespace velmor::platform {

namespace {

constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessibleInterface = "org.a11y.atspi.Accessible";

uint64_t readStates(DbusReader words) {
    uint64_t low = words.uint32();
    uint64_t high = words.uint32();
    return low | (high << 32);
}

uint32_t readInterfaces(DbusReader names) {
    uint32_t bits = 0;
    while (!names.atEnd()) bits |= atspiInterfaceBit(names.string());
    return bits;
}

}  // namespace

std::shared_ptr<AtspiSnapshot> AtspiSnapshot::read(AtspiBus& bus, const std::string& busName) {
    std::shared_ptr<AtspiSnapshot> snapshot(new AtspiSnapshot(bus, busName));
    bus.introduceTo(busName);
    if (!snapshot->readCache()) {
        std::vector<int> root = snapshot->readLive({kRootPath}, -1);
        if (!root.empty()) snapshot->root_ = root.front();
    }
    return snapshot;
}

bool AtspiSnapshot::readCache() {
    DBusConnection* connection = bus_.connection();
    if (!connection) return false;
    DbusReply reply = DbusCall(busName_, "/org/a11y/atspi/cache", "org.a11y.atspi.Cache", "GetItems")
                          .send(connection, kAtspiBulkTimeoutMs);
    if (!reply.hasSignature("a((so)(so)(so)iiassusau)")) return false;

    std::vector<std::string> parentPaths;
    for (DbusReader list = reply.reader().open(); !list.atEnd();) {
        DbusReader item = list.open();
        AtspiNode node;
        DbusReader self = item.open();
        self.skip();
        node.path = self.string();
        item.skip();  // the application the object belongs to
        DbusReader parent = item.open();
        std::string parentBus = parent.string();
        std::string parentPath = parent.string();
        node.indexInParent = item.int32();
        node.childCount = item.int32();
        node.interfaces = readInterfaces(item.open());
        node.name = item.string();
        node.role = item.uint32();
        node.description = item.string();
        node.states = readStates(item.open());
        // A parent in another process (an embedding socket) is not followed.
        parentPaths.push_back(parentBus == busName_ && parentPath != node.path ? parentPath : "");
        byPath_[node.path] = static_cast<int>(nodes_.size());
        nodes_.push_back(std::move(node));
    }
    auto root = byPath_.find(kRootPath);
    if (root == byPath_.end()) return false;
    root_ = root->second;
    for (size_t i = 0; i < nodes_.size(); ++i) {
        auto parent = byPath_.find(parentPaths[i]);
        if (parent != byPath_.end()) nodes_[i].parent = parent->second;
    }
    linkChildren();
    return true;
}

void AtspiSnapshot::linkChildren() {
    std::vector<std::vector<std::pair<int, int>>> found(nodes_.size());  // (index in parent, node)
    for (int i = 0; i < size(); ++i) {
        if (nodes_[i].parent >= 0) found[nodes_[i].parent].emplace_back(nodes_[i].indexInParent, i);
    }
    for (int i = 0; i < size(); ++i) {
        AtspiNode& node = nodes_[i];
        auto& children = found[i];
        std::sort(children.begin(), children.end());
        bool complete = !node.has(ATSPI_STATE_MANAGES_DESCENDANTS) && node.childCount >= 0 &&
                        static_cast<int>(children.size()) == node.childCount;
        for (size_t k = 0; complete && k < children.size(); ++k) complete = children[k].first == static_cast<int>(k);
        // Anything else (unknown positions, objects missing from the cache) is asked for
        // when the scan gets there.
        if (!complete) continue;
        for (const auto& child : children) node.children.push_back(child.second);
        node.childrenKnown = true;
    }
}

const std::vector<int>& AtspiSnapshot::childrenOf(int index) {
    if (nodes_[index].childrenKnown) return nodes_[index].children;
    nodes_[index].childrenKnown = true;
    DBusConnection* connection = bus_.connection();
    if (!connection) return nodes_[index].children;

    DbusReply reply =
        DbusCall(busName_, nodes_[index].path, kAccessibleInterface, "GetChildren").send(connection, kAtspiCallTimeoutMs);
    if (!reply.hasSignature("a(so)")) return nodes_[index].children;
    std::vector<std::string> paths;
    for (DbusReader list = reply.reader().open(); !list.atEnd();) {
        DbusReader reference = list.open();
        // Children served by another process (embedded plugs) are left out.
        if (reference.string() == busName_) paths.push_back(reference.string());
    }
    std::vector<std::string> unknown;
    for (const auto& path : paths) {
        if (!byPath_.count(path)) unknown.push_back(path);
    }
    readLive(unknown, index);
    // The application's own order is the one that counts, also for objects the bulk read
    // placed without a position.
    std::vector<int> children;
    for (const auto& path : paths) {
        int child = byPath_.at(path);
        nodes_[child].indexInParent = static_cast<int>(children.size());
        children.push_back(child);
    }
    nodes_[index].children = std::move(children);
    return nodes_[index].children;
}

AtspiToolkit AtspiSnapshot::toolkit() {
    if (!toolkit_) toolkit_ = readToolkit(bus_.connection(), busName_);
    return *toolkit_;
}

std::vector<int> AtspiSnapshot::readLive(const std::vector<std::string>& paths, int parent) {
    std::vector<int> added;
    DBusConnection* connection = bus_.connection();
    if (!connection || paths.empty()) return added;

    struct Pending {
        PendingReply role, states, interfaces, properties;
    };
    std::vector<Pending> pending;
    pending.reserve(paths.size());
    for (const auto& path : paths) {
        pending.push_back({
            DbusCall(busName_, path, kAccessibleInterface, "GetRole").sendLater(connection, kAtspiCallTimeoutMs),
            DbusCall(busName_, path, kAccessibleInterface, "GetState").sendLater(connection, kAtspiCallTimeoutMs),
            DbusCall(busName_, path, kAccessibleInterface, "GetInterfaces").sendLater(connection, kAtspiCallTimeoutMs),
            DbusCall(busName_, path, DBUS_INTERFACE_PROPERTIES, "GetAll")
                .add(std::string(kAccessibleInterface))
                .sendLater(connection, kAtspiCallTimeoutMs),
        });
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        AtspiNode node;
        node.path = paths[i];
        node.parent = parent;
        if (DbusReply role = pending[i].role.wait(); role.hasSignature("u")) node.role = role.reader().uint32();
        if (DbusReply states = pending[i].states.wait(); states.hasSignature("au"))
            node.states = readStates(states.reader().open());
        if (DbusReply interfaces = pending[i].interfaces.wait(); interfaces.hasSignature("as"))
            node.interfaces = readInterfaces(interfaces.reader().open());
        if (DbusReply properties = pending[i].properties.wait(); properties.hasSignature("a{sv}")) {
            for (DbusReader entries = properties.reader().open(); !entries.atEnd();) {
                DbusReader entry = entries.open();
                std::string key = entry.string();
                DbusReader value = entry.open();
                if (key == "Name") node.name = value.string();
                else if (key == "Description") node.description = value.string();
                else if (key == "ChildCount") node.childCount = value.int32();
            }
        }
        byPath_[node.path] = static_cast<int>(nodes_.size());
        added.push_back(static_cast<int>(nodes_.size()));
        nodes_.push_back(std::move(node));
    }
    return added;
}

}  // namespace velmor::platform
