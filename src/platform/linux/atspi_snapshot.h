#pragma once

#include "platform/linux/atspi_actions.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_session_rules.h"
#include "platform/linux/atspi_toolkit.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmor::platform {

// One accessible object as read at the time of the snapshot.
struct AtspiNode {
    std::string path;
    int parent = -1;
    int indexInParent = -1;
    int childCount = 0;  // as the application reports it; negative when it does not know
    uint32_t role = 0;   // AtspiRole
    std::string name;
    std::string description;
    uint64_t states = 0;  // AtspiStateType bits
    uint32_t interfaces = 0;  // AtspiInterface bits
    std::vector<int> children;
    bool childrenKnown = false;

    // Read ahead with the tree for toolkits without a bulk read (many small calls cost them
    // most); otherwise asked for when the scan needs them.
    bool detailsKnown = false;
    std::optional<std::string> accessibleId;
    std::optional<std::string> placeholder;  // the attribute placeholder-text
    std::optional<std::string> text;         // the Text contents, for text roles
    std::optional<double> number;            // the Value's current value, for range roles

    // Read ahead for a node's siblings all at once when the scan reaches their parent.
    bool pressActionKnown = false;
    std::optional<int> pressAction;  // the first press action's index
    bool pressToggles = false;       // that action is "toggle"
    bool labelKnown = false;
    std::optional<std::string> label;  // the names of the widgets that label it

    bool has(int state) const { return (states >> state) & 1u; }
};

// An application's user interface as it was when the scan began: the whole tree in one
// bulk read of the toolkit's object cache where there is one (ATK toolkits), completed
// object by object for the parts the cache leaves out (containers that manage their own
// descendants, toolkits without a cache). Reads of values, texts and actions are not part
// of it: they go to the application when they are needed. Read and completed only inside
// the bus's withLocked: whatever asks the application takes the connection it hands out.
class AtspiSnapshot {
public:
    static std::shared_ptr<AtspiSnapshot> read(AtspiBus& bus, AtspiConnection& atspi, const std::string& busName);

    // The bus the snapshot was read through, for its elements to lock.
    AtspiBus& bus() const { return bus_; }
    const std::string& busName() const { return busName_; }
    int root() const { return root_; }
    int size() const { return static_cast<int>(nodes_.size()); }
    const AtspiNode& node(int index) const { return nodes_[index]; }
    // The top-level window the node belongs to; -1 when it hangs below no window.
    int windowOf(int index) const {
        while (index >= 0 && nodes_[index].parent != root_) index = nodes_[index].parent;
        return index;
    }
    // The node's children in order, asking the application when the snapshot lacks them.
    const std::vector<int>& childrenOf(AtspiConnection& atspi, int index);
    // Forgets the node's children, so that the next childrenOf asks the application again
    // (a menu that fills as it opens).
    void forgetChildren(int index) { nodes_[index].childrenKnown = false; }
    // Reads ahead the children of those of these nodes whose children the snapshot lacks,
    // all at once.
    void readChildrenOf(AtspiConnection& atspi, const std::vector<int>& indices);
    // The application's toolkit.
    AtspiToolkit toolkit(AtspiConnection& atspi);
    // The node's states (AtspiStateType bits) as the application has them now; nothing when
    // it does not answer.
    std::optional<uint64_t> statesNow(AtspiConnection& atspi, int index) const;
    // The press actions of these nodes, asked for all at once where not known yet.
    void readPressActions(AtspiConnection& atspi, const std::vector<int>& indices);
    // The node's press action as the application lists it now.
    PressActionLookup livePressAction(AtspiConnection& atspi, int index);
    void rememberLabel(int index, std::optional<std::string> label);
    // The node of the object at `path`, read from the application where the snapshot lacks
    // it, as a child of `parent`; nothing when the application does not answer for it.
    std::optional<int> nodeAt(AtspiConnection& atspi, const std::string& path, int parent);
    // The session's rules for the application's process `pid`; they outlive the snapshot.
    void followRules(const AtspiSessionRules& rules, int32_t pid) { rules_ = &rules, pid_ = pid; }
    const AtspiSessionRules& rules() const { return *rules_; }
    int32_t pid() const { return pid_; }

private:
    AtspiSnapshot(AtspiBus& bus, std::string busName) : bus_(bus), busName_(std::move(busName)) {}

    static const AtspiSessionRules kScreenCoordinates;

    bool readCache(AtspiConnection& atspi);
    void linkChildren();
    // Grids and long lists, whose children are never all asked for.
    static bool boundedContainer(const AtspiNode& node);
    // Its count of children, asked for when the bulk read left it unknown.
    int knownChildCount(DBusConnection* connection, const AtspiNode& node) const;
    // Nodes for these paths, read from the application in one round trip.
    std::vector<int> readLive(AtspiConnection& atspi, const std::vector<std::string>& paths, int parent);
    std::vector<int> readLive(AtspiConnection& atspi, const std::vector<std::string>& paths,
                              const std::vector<int>& parents);
    // The children of these nodes, asked for all at once.
    void readChildren(AtspiConnection& atspi, const std::vector<int>& parents);
    // The objects on screen, for toolkits that have no bulk read.
    void readShowingTree(AtspiConnection& atspi);
    // Identifier, placeholder, press action and value of these nodes, all asked at once.
    void readDetails(AtspiConnection& atspi, const std::vector<int>& indices);

    AtspiBus& bus_;
    std::string busName_;
    const AtspiSessionRules* rules_ = &kScreenCoordinates;
    int32_t pid_ = 0;
    std::vector<AtspiNode> nodes_;
    std::unordered_map<std::string, int> byPath_;
    ActionNames untranslatedActions_;
    int root_ = -1;
};

}  // namespace velmor::platform
