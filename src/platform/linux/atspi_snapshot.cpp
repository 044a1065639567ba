#include "platform/linux/atspi_snapshot.h"

#include "platform/linux/atspi_roles.h"
#include "platform/linux/atspi_visible_cells.h"
#include "platform/linux/dbus_message.h"
#include "platform/scan_budget.h"

#include <atspi/atspi-constants.h>

#include <algorithm>

namespace velmor::platform {

namespace {

constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessibleInterface = "org.a11y.atspi.Accessible";
// Depth of the read ahead for toolkits without a bulk read; deeper objects are read when the
// scan reaches them.
constexpr int kPrefetchDepth = 25;

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

const AtspiSessionRules AtspiSnapshot::kScreenCoordinates{};

std::shared_ptr<AtspiSnapshot> AtspiSnapshot::read(AtspiBus& bus, AtspiConnection& atspi,
                                                   const std::string& busName) {
    std::shared_ptr<AtspiSnapshot> snapshot(new AtspiSnapshot(bus, busName));
    atspi.introduceTo(busName);
    // Only ATK toolkits answer the bulk read with the whole tree; Qt answers it with nothing,
    // so its tree is read object by object from the start.
    if (atspi.toolkitOf(busName) == AtspiToolkit::qt || !snapshot->readCache(atspi)) {
        std::vector<int> root = snapshot->readLive(atspi, {kRootPath}, -1);
        if (!root.empty() && snapshot->node(root.front()).role != 0) {
            snapshot->root_ = root.front();
            snapshot->readShowingTree(atspi);
        }
    }
    return snapshot;
}

bool AtspiSnapshot::readCache(AtspiConnection& atspi) {
    DBusConnection* connection = atspi.connection();
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

std::optional<uint64_t> AtspiSnapshot::statesNow(AtspiConnection& atspi, int index) const {
    DBusConnection* connection = atspi.connection();
    if (!connection) return std::nullopt;
    DbusReply reply =
        DbusCall(busName_, nodes_[index].path, kAccessibleInterface, "GetState").send(connection, kAtspiCallTimeoutMs);
    if (!reply.hasSignature("au")) return std::nullopt;
    return readStates(reply.reader().open());
}

const std::vector<int>& AtspiSnapshot::childrenOf(AtspiConnection& atspi, int index) {
    if (!nodes_[index].childrenKnown) readChildren(atspi, {index});
    return nodes_[index].children;
}

void AtspiSnapshot::readChildrenOf(AtspiConnection& atspi, const std::vector<int>& indices) {
    std::vector<int> unknown;
    for (int index : indices) {
        if (!nodes_[index].childrenKnown) unknown.push_back(index);
    }
    if (!unknown.empty()) readChildren(atspi, unknown);
}

void AtspiSnapshot::readChildren(AtspiConnection& atspi, const std::vector<int>& parents) {
    DBusConnection* connection = atspi.connection();
    for (int index : parents) nodes_[index].childrenKnown = true;
    if (!connection) return;

    // A grid or long list would answer GetChildren with every cell it has, creating each one
    // on the way: only the cells in view are asked for, or, where it cannot tell which those
    // are, its first children, one by one.
    std::vector<std::vector<DbusReply>> answered(parents.size());
    std::vector<std::vector<PendingReply>> replies(parents.size());
    for (size_t i = 0; i < parents.size(); ++i) {
        const AtspiNode& node = nodes_[parents[i]];
        const std::string& path = node.path;
        if (!boundedContainer(node)) {
            replies[i].push_back(DbusCall(busName_, path, kAccessibleInterface, "GetChildren")
                                     .sendLater(connection, kAtspiCallTimeoutMs));
            continue;
        }
        if ((node.interfaces & kTableInterface) && (node.interfaces & kComponentInterface))
            answered[i] = visibleCells(connection, busName_, path, kManagedChildrenRead);
        if (!answered[i].empty()) continue;
        int count = std::min(knownChildCount(connection, node), kManagedChildrenRead);
        for (int k = 0; k < count; ++k) {
            replies[i].push_back(DbusCall(busName_, path, kAccessibleInterface, "GetChildAtIndex")
                                     .add(int32_t{k})
                                     .sendLater(connection, kAtspiCallTimeoutMs));
        }
    }
    std::vector<std::vector<std::string>> paths(parents.size());
    std::vector<std::string> unknown;
    std::vector<int> unknownParents;
    auto take = [&](size_t i, DbusReader reference) {
        // Children served by another process (embedded plugs) are left out.
        if (reference.string() != busName_) return;
        std::string path = reference.string();
        if (!byPath_.count(path)) {
            unknown.push_back(path);
            unknownParents.push_back(parents[i]);
            byPath_[path] = -1;  // asked for once, also when listed twice
        }
        paths[i].push_back(std::move(path));
    };
    for (size_t i = 0; i < parents.size(); ++i) {
        for (PendingReply& pending : replies[i]) answered[i].push_back(pending.wait());
        for (const DbusReply& reply : answered[i]) {
            if (reply.hasSignature("(so)")) take(i, reply.reader().open());
            if (!reply.hasSignature("a(so)")) continue;
            for (DbusReader list = reply.reader().open(); !list.atEnd();) take(i, list.open());
        }
    }
    readLive(atspi, unknown, unknownParents);
    // The application's own order is the one that counts, also for objects the bulk read
    // placed without a position.
    for (size_t i = 0; i < parents.size(); ++i) {
        std::vector<int> children;
        for (const auto& path : paths[i]) {
            int child = byPath_.at(path);
            nodes_[child].indexInParent = static_cast<int>(children.size());
            children.push_back(child);
        }
        nodes_[parents[i]].children = std::move(children);
    }
}

int AtspiSnapshot::knownChildCount(DBusConnection* connection, const AtspiNode& node) const {
    if (node.childCount >= 0) return node.childCount;
    // The bulk read gives no count for a container that manages its descendants.
    DbusReply reply = DbusCall(busName_, node.path, DBUS_INTERFACE_PROPERTIES, "Get")
                          .add(std::string(kAccessibleInterface))
                          .add(std::string("ChildCount"))
                          .send(connection, kAtspiCallTimeoutMs);
    return reply.hasSignature("v") ? reply.reader().open().int32() : 0;
}

bool AtspiSnapshot::boundedContainer(const AtspiNode& node) {
    return node.has(ATSPI_STATE_MANAGES_DESCENDANTS) || node.childCount > static_cast<int>(kScanObjectBudget);
}

void AtspiSnapshot::readShowingTree(AtspiConnection& atspi) {
    // Level by level, every object of a level asked at once: one round trip per level
    // instead of one per object. What is not showing (closed menus, hidden pages) and what
    // manages its own descendants (long lists) is left to be asked for when needed.
    std::vector<int> level = {root_};
    for (int depth = 0; depth < kPrefetchDepth && !level.empty() && static_cast<size_t>(size()) < kScanObjectBudget; ++depth) {
        readChildren(atspi, level);
        std::vector<int> next;
        for (int parent : level) {
            for (int child : nodes_[parent].children) {
                AtspiNode& n = nodes_[child];
                if (n.childCount == 0) n.childrenKnown = true;  // a leaf: nothing to ask
                bool shown = n.parent == root_ ? n.has(ATSPI_STATE_VISIBLE) : n.has(ATSPI_STATE_SHOWING);
                if (shown && !n.has(ATSPI_STATE_MANAGES_DESCENDANTS) && n.childCount != 0 && !n.childrenKnown)
                    next.push_back(child);
            }
        }
        level = std::move(next);
    }
    std::vector<int> read;
    for (int i = 0; i < size(); ++i) {
        if (i != root_) read.push_back(i);
    }
    readDetails(atspi, read);
}

void AtspiSnapshot::readDetails(AtspiConnection& atspi, const std::vector<int>& indices) {
    DBusConnection* connection = atspi.connection();
    if (!connection) return;
    readPressActions(atspi, indices);
    // Qt 5 has no accessible ids.
    bool askId = toolkit(atspi) != AtspiToolkit::qt;
    const int32_t textEnd = wholeTextEnd(toolkit(atspi));
    struct Pending {
        std::optional<PendingReply> id, attributes, value;
        ValueSource valueSource = ValueSource::none;
    };
    std::vector<Pending> pending(indices.size());
    for (size_t i = 0; i < indices.size(); ++i) {
        const AtspiNode& node = nodes_[indices[i]];
        Pending& p = pending[i];
        // Identifiers and placeholders only name what has no name or description.
        bool unnamed = node.name.empty() && node.description.empty();
        if (askId && unnamed) {
            p.id.emplace(DbusCall(busName_, node.path, DBUS_INTERFACE_PROPERTIES, "Get")
                             .add(std::string(kAccessibleInterface))
                             .add(std::string("AccessibleId"))
                             .sendLater(connection, kAtspiCallTimeoutMs));
        }
        if (unnamed) {
            p.attributes.emplace(DbusCall(busName_, node.path, kAccessibleInterface, "GetAttributes")
                                     .sendLater(connection, kAtspiCallTimeoutMs));
        }
        p.valueSource = roleOf(node.role, node.states, node.interfaces).value;
        if (p.valueSource == ValueSource::text && (node.interfaces & kTextInterface)) {
            p.value.emplace(DbusCall(busName_, node.path, "org.a11y.atspi.Text", "GetText")
                                .add(int32_t{0})
                                .add(textEnd)
                                .sendLater(connection, kAtspiCallTimeoutMs));
        } else if (p.valueSource == ValueSource::number) {
            p.value.emplace(DbusCall(busName_, node.path, DBUS_INTERFACE_PROPERTIES, "Get")
                                .add(std::string("org.a11y.atspi.Value"))
                                .add(std::string("CurrentValue"))
                                .sendLater(connection, kAtspiCallTimeoutMs));
        }
    }
    for (size_t i = 0; i < indices.size(); ++i) {
        AtspiNode& node = nodes_[indices[i]];
        Pending& p = pending[i];
        node.detailsKnown = true;
        if (p.id) {
            if (DbusReply id = p.id->wait(); id.hasSignature("v")) {
                std::string text = id.reader().open().string();
                if (!text.empty()) node.accessibleId = text;
            }
        }
        if (p.attributes) {
            DbusReply attributes = p.attributes->wait();
            for (DbusReader entries = attributes.reader().open(); attributes.hasSignature("a{ss}") && !entries.atEnd();) {
                DbusReader entry = entries.open();
                if (entry.string() == "placeholder-text") node.placeholder = entry.string();
            }
        }
        if (p.value) {
            DbusReply value = p.value->wait();
            if (p.valueSource == ValueSource::text && value.hasSignature("s")) node.text = value.reader().string();
            if (p.valueSource == ValueSource::number && value.hasSignature("v")) node.number = value.reader().open().number();
        }
    }
}

void AtspiSnapshot::readPressActions(AtspiConnection& atspi, const std::vector<int>& indices) {
    DBusConnection* connection = atspi.connection();
    if (!connection) return;
    // Qt 5 names its actions "Press", "Toggle", "SetFocus": none of them is a press action
    // by name, so asking would only cost it time.
    bool qt = toolkit(atspi) == AtspiToolkit::qt;
    std::vector<int> asked;
    std::vector<std::string> paths;
    for (int index : indices) {
        AtspiNode& node = nodes_[index];
        if (node.pressActionKnown) continue;
        node.pressActionKnown = true;
        if (qt || !(node.interfaces & kActionInterface)) continue;
        asked.push_back(index);
        paths.push_back(node.path);
    }
    auto found = findPressActions(connection, busName_, paths, true, untranslatedActions_);
    for (size_t i = 0; i < asked.size(); ++i) {
        nodes_[asked[i]].pressAction = found[i].index;
        nodes_[asked[i]].pressToggles = found[i].toggles;
    }
}

PressActionLookup AtspiSnapshot::livePressAction(AtspiConnection& atspi, int index) {
    bool readListedNames = toolkit(atspi) != AtspiToolkit::qt;
    return findPressActions(atspi.connection(), busName_, {nodes_[index].path}, readListedNames, untranslatedActions_)
        .front();
}

void AtspiSnapshot::rememberLabel(int index, std::optional<std::string> label) {
    nodes_[index].labelKnown = true;
    nodes_[index].label = std::move(label);
}

std::optional<int> AtspiSnapshot::nodeAt(AtspiConnection& atspi, const std::string& path, int parent) {
    if (auto known = byPath_.find(path); known != byPath_.end() && known->second >= 0) return known->second;
    std::vector<int> read = readLive(atspi, {path}, parent);
    if (read.empty() || nodes_[read.front()].role == 0) return std::nullopt;
    return read.front();
}

AtspiToolkit AtspiSnapshot::toolkit(AtspiConnection& atspi) {
    return atspi.toolkitOf(busName_);
}

std::vector<int> AtspiSnapshot::readLive(AtspiConnection& atspi, const std::vector<std::string>& paths, int parent) {
    return readLive(atspi, paths, std::vector<int>(paths.size(), parent));
}

std::vector<int> AtspiSnapshot::readLive(AtspiConnection& atspi, const std::vector<std::string>& paths,
                                         const std::vector<int>& parents) {
    std::vector<int> added;
    DBusConnection* connection = atspi.connection();
    if (!connection || paths.empty()) return added;

    // Each property is asked for on its own: Qt 5 crashes on Properties.GetAll, and a
    // per-property Get is answered by every toolkit.
    auto property = [&](const std::string& path, const char* name) {
        return DbusCall(busName_, path, DBUS_INTERFACE_PROPERTIES, "Get")
            .add(std::string(kAccessibleInterface))
            .add(std::string(name))
            .sendLater(connection, kAtspiCallTimeoutMs);
    };
    struct Pending {
        PendingReply role, states, interfaces, name, description, childCount;
    };
    std::vector<Pending> pending;
    pending.reserve(paths.size());
    for (const auto& path : paths) {
        pending.push_back({
            DbusCall(busName_, path, kAccessibleInterface, "GetRole").sendLater(connection, kAtspiCallTimeoutMs),
            DbusCall(busName_, path, kAccessibleInterface, "GetState").sendLater(connection, kAtspiCallTimeoutMs),
            DbusCall(busName_, path, kAccessibleInterface, "GetInterfaces").sendLater(connection, kAtspiCallTimeoutMs),
            property(path, "Name"),
            property(path, "Description"),
            property(path, "ChildCount"),
        });
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        AtspiNode node;
        node.path = paths[i];
        node.parent = parents[i];
        if (DbusReply role = pending[i].role.wait(); role.hasSignature("u")) node.role = role.reader().uint32();
        if (DbusReply states = pending[i].states.wait(); states.hasSignature("au"))
            node.states = readStates(states.reader().open());
        if (DbusReply interfaces = pending[i].interfaces.wait(); interfaces.hasSignature("as"))
            node.interfaces = readInterfaces(interfaces.reader().open());
        if (DbusReply name = pending[i].name.wait(); name.hasSignature("v")) node.name = name.reader().open().string();
        if (DbusReply description = pending[i].description.wait(); description.hasSignature("v"))
            node.description = description.reader().open().string();
        if (DbusReply count = pending[i].childCount.wait(); count.hasSignature("v"))
            node.childCount = count.reader().open().int32();
        byPath_[node.path] = static_cast<int>(nodes_.size());
        added.push_back(static_cast<int>(nodes_.size()));
        nodes_.push_back(std::move(node));
    }
    return added;
}

}  // namespace velmor::platform
