#include "platform/linux/atspi_menus.h"

#include "platform/linux/atspi_extents.h"
#include "platform/linux/atspi_gtk4_menus.h"
#include "platform/linux/atspi_menu_entries.h"
#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

#include <chrono>
#include <string_view>
#include <thread>

namespace velmor::platform {

namespace {

std::optional<Frame> frameNow(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node) {
    DBusConnection* connection = atspi.connection();
    if (!connection) return std::nullopt;
    const std::string& path = snapshot.node(node).path;
    PendingReply state = DbusCall(snapshot.busName(), path, "org.a11y.atspi.Accessible", "GetState")
                             .sendLater(connection, kAtspiCallTimeoutMs);
    PendingReply extents = askScreenExtents(connection, snapshot.busName(), path);
    DbusReply states = state.wait();
    auto frame = extentsFrom(extents.wait());
    if (!states.hasSignature("au") || !frame) return std::nullopt;
    if (!((states.reader().open().uint32() >> ATSPI_STATE_SHOWING) & 1u) || !onScreen(*frame)) return std::nullopt;
    return frame;
}

// How far the look for a shown menu bar goes into a window.
constexpr int kMenuBarDepth = 8;
constexpr size_t kMenuBarLookedAt = 2000;

// Whether an object shows as its toolkit tells it: GTK 4 sets VISIBLE but never SHOWING
// below the window.
bool shows(const AtspiNode& node, bool gtk4) { return node.has(gtk4 ? ATSPI_STATE_VISIBLE : ATSPI_STATE_SHOWING); }

// A menu bar on screen in the window, looked for level by level through what shows, children
// asked for as the look goes: the bulk read may have left the one on screen out, and GTK 4's
// has none below its windows.
int shownMenuBarIn(AtspiConnection& atspi, AtspiSnapshot& snapshot, int window, bool gtk4) {
    std::vector<int> level = {window};
    size_t lookedAt = 0;
    for (int depth = 0; depth < kMenuBarDepth && !level.empty(); ++depth) {
        std::vector<int> next;
        for (int parent : level) {
            for (int child : snapshot.childrenOf(atspi, parent)) {
                if (++lookedAt > kMenuBarLookedAt) return -1;
                const AtspiNode& node = snapshot.node(child);
                if (!shows(node, gtk4) || node.has(ATSPI_STATE_MANAGES_DESCENDANTS)) continue;
                if (node.role == ATSPI_ROLE_MENU_BAR) {
                    // GTK 4 tells no place on screen.
                    if (gtk4 || frameNow(atspi, snapshot, child)) return child;
                } else {
                    next.push_back(child);
                }
            }
        }
        level = std::move(next);
    }
    return -1;
}

// The window the user is in, else the first that shows.
int activeWindowOf(AtspiConnection& atspi, AtspiSnapshot& snapshot) {
    int found = -1;
    for (int window : snapshot.childrenOf(atspi, snapshot.root())) {
        if (snapshot.node(window).has(ATSPI_STATE_ACTIVE)) return window;
        if (found < 0 && snapshot.node(window).has(ATSPI_STATE_VISIBLE)) found = window;
    }
    return found;
}

// The menu bar of the window the user is in. LibreOffice's GTK front end keeps a menu bar of
// its own, flat and off screen, beside the one GTK shows, with the same entries: its menus
// never open, so the one on screen is taken, also where the bulk read left it out.
int menuBarOf(AtspiConnection& atspi, AtspiSnapshot& snapshot) {
    const bool gtk4 = snapshot.toolkit(atspi) == AtspiToolkit::gtk4;
    int found = -1;
    for (int i = 0; i < snapshot.size(); ++i) {
        if (snapshot.node(i).role != ATSPI_ROLE_MENU_BAR) continue;
        int window = snapshot.windowOf(i);
        if (window >= 0 && snapshot.node(window).has(ATSPI_STATE_ACTIVE)) {
            found = i;
            break;
        }
        if (found < 0) found = i;
    }
    if (found >= 0 && (gtk4 || frameNow(atspi, snapshot, found))) return found;
    int window = found >= 0 ? snapshot.windowOf(found) : activeWindowOf(atspi, snapshot);
    if (window < 0) return found;
    int shown = shownMenuBarIn(atspi, snapshot, window, gtk4);
    return shown >= 0 ? shown : found;
}

// Qt puts an unnamed popup menu between a menu-bar item (or an item with a submenu) and its
// entries. Nobody names it in a path: its entries are the item's own.
bool holdsEntriesOnly(const AtspiNode& node) {
    return (node.role == ATSPI_ROLE_POPUP_MENU || node.role == ATSPI_ROLE_MENU) && menuName(node).empty();
}

// The named menu entries below a node, in order.
std::vector<int> entriesOf(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node, bool throughHolder = true) {
    std::vector<int> entries;
    for (int child : snapshot.childrenOf(atspi, node)) {
        const AtspiNode& n = snapshot.node(child);
        if (isMenuEntryRole(n.role) && !menuName(n).empty()) {
            entries.push_back(child);
        } else if (throughHolder && holdsEntriesOnly(n)) {
            for (int entry : entriesOf(atspi, snapshot, child, false)) entries.push_back(entry);
        }
    }
    return entries;
}

std::string noProcess(int32_t pid) { return "can't find process name for PID " + std::to_string(pid); }

// Highlights an item in its menu without choosing it.
Result<void> select(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node) {
    DBusConnection* connection = atspi.connection();
    if (!connection) return fail(atspi.unavailable().value_or("accessibility bus not available"));
    const AtspiNode& n = snapshot.node(node);
    const AtspiNode& parent = snapshot.node(n.parent);
    DbusReply reply = DbusCall(snapshot.busName(), parent.path, "org.a11y.atspi.Selection", "SelectChild")
                          .add(int32_t{n.indexInParent})
                          .send(connection, kAtspiCallTimeoutMs);
    if (!reply.ok() || !reply.hasSignature("b") || !reply.reader().boolean())
        return fail(inQuotes(menuName(n)) + " cannot be highlighted");
    return succeeded();
}

// How long a menu gets to open and show its entries.
constexpr auto kMenuOpenTimeout = std::chrono::milliseconds(1500);
constexpr auto kMenuPoll = std::chrono::milliseconds(20);
constexpr auto kPointerRest = std::chrono::milliseconds(30);
// What list_menus gives at most: an office suite has a dozen menus of some thirty entries.
constexpr size_t kListedMenus = 64;
constexpr size_t kListedItems = 256;
constexpr auto kListingTime = std::chrono::seconds(3);

// Whether the menu's entries are on screen: it is open.
bool showsEntries(AtspiConnection& atspi, AtspiSnapshot& snapshot, int menu) {
    auto entries = entriesOf(atspi, snapshot, menu);
    return !entries.empty() && frameNow(atspi, snapshot, entries.front());
}

}  // namespace

std::optional<Frame> AtspiMenus::shownFrame(AtspiSnapshot& snapshot, int node) {
    if (rules_.windowOrigin) return std::nullopt;
    auto deadline = std::chrono::steady_clock::now() + kMenuOpenTimeout;
    while (true) {
        auto frame = bus_.withLocked([&](AtspiConnection& atspi) { return frameNow(atspi, snapshot, node); });
        if (frame) return frame;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(kMenuPoll);
    }
}

Result<void> AtspiMenus::reach(AtspiSnapshot& snapshot, int node, bool click) {
    auto frame = shownFrame(snapshot, node);
    if (!frame) {
        if (click) return bus_.withLocked([&](AtspiConnection& atspi) { return doMenuAction(atspi, snapshot, node); });
        return fail(inQuotes(menuName(snapshot.node(node))) + " does not come on screen");
    }
    // The pointer goes through the display, never with the bus held.
    Result<void> done = input_.movePointer(frame->x + frame->width / 2, frame->y + frame->height / 2);
    std::this_thread::sleep_for(kPointerRest);
    if (done && click) {
        done = input_.setButton(MouseButton::left, true);
        std::this_thread::sleep_for(kPointerRest);
        if (done) done = input_.setButton(MouseButton::left, false);
    }
    return done;
}

std::shared_ptr<AtspiSnapshot> AtspiMenus::snapshotOf(AtspiConnection& atspi, int32_t pid) {
    auto busName = atspi.busNameOf(pid);
    if (!busName) return nullptr;
    auto snapshot = AtspiSnapshot::read(bus_, atspi, *busName);
    if (snapshot->root() < 0) return nullptr;
    snapshot->followRules(rules_, pid);
    return snapshot;
}

std::optional<std::string> AtspiMenus::follow(AtspiConnection& atspi, AtspiSnapshot& snapshot,
                                              const std::vector<std::string>& path, std::vector<int>& nodes) {
    int node = nodes.empty() ? menuBarOf(atspi, snapshot) : nodes.back();
    if (node < 0) return "the application has no menu bar";
    for (size_t step = nodes.size(); step < path.size(); ++step) {
        int next = entryNamed(snapshot, entriesOf(atspi, snapshot, node), path[step]);
        if (next < 0) return missingStep(snapshot, nodes.empty() ? -1 : node, path[step]);
        nodes.push_back(next);
        node = next;
    }
    return std::nullopt;
}

std::optional<std::string> AtspiMenus::followOpened(AtspiSnapshot& snapshot, const std::vector<std::string>& path,
                                                    std::vector<int>& nodes) {
    const int menu = nodes.back();
    const size_t known = nodes.size();
    auto deadline = std::chrono::steady_clock::now() + kMenuOpenTimeout;
    while (true) {
        bool shown = false;
        nodes.resize(known);
        auto missing = bus_.withLocked([&](AtspiConnection& atspi) {
            snapshot.forgetChildren(menu);
            for (int child : snapshot.childrenOf(atspi, menu))
                if (holdsEntriesOnly(snapshot.node(child))) snapshot.forgetChildren(child);
            shown = showsEntries(atspi, snapshot, menu);
            return follow(atspi, snapshot, path, nodes);
        });
        // The entries read once the menu shows are the ones it has: before, they may be
        // those it is about to replace. Where menus are not placed on screen, the first read
        // is all there is.
        if (shown || rules_.windowOrigin || std::chrono::steady_clock::now() >= deadline) return missing;
        std::this_thread::sleep_for(kMenuPoll);
    }
}

void AtspiMenus::close(AtspiSnapshot& snapshot, const std::vector<int>& nodes, size_t opened) {
    auto shows = [&](int menu) {
        return bus_.withLocked([&](AtspiConnection& atspi) { return showsEntries(atspi, snapshot, menu); });
    };
    // One key closes one menu, once the menu before has gone: keys sent together would
    // reach a menu that is already closing. A key is sent only while a menu shows, as it
    // would close whatever else has the focus (a dialog).
    for (size_t i = opened; i-- > 0;) {
        if (!shows(nodes[i])) continue;
        if (!input_.pressKey(NamedKey::escape, {})) return;
        auto deadline = std::chrono::steady_clock::now() + kMenuOpenTimeout;
        while (shows(nodes[i]) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(kMenuPoll);
    }
}

std::vector<MenuListing> AtspiMenus::listMenus(int32_t pid, const std::function<bool()>& bringToFront) {
    std::shared_ptr<AtspiSnapshot> snapshot;
    int bar = -1;
    bool gtk4 = false;
    auto menus = bus_.withLocked([&](AtspiConnection& atspi) {
        std::vector<MenuListing> menus;
        snapshot = snapshotOf(atspi, pid);
        if (!snapshot) return menus;
        bar = menuBarOf(atspi, *snapshot);
        gtk4 = snapshot->toolkit(atspi) == AtspiToolkit::gtk4;
        if (bar < 0 || gtk4) return menus;
        // An application with a great many menus, or one slow to answer, is listed as far as
        // it got: the bus is held meanwhile.
        const auto deadline = std::chrono::steady_clock::now() + kListingTime;
        for (int menu : entriesOf(atspi, *snapshot, bar)) {
            if (menus.size() == kListedMenus || std::chrono::steady_clock::now() >= deadline) break;
            MenuListing listing{menuName(snapshot->node(menu)), {}};
            for (int item : entriesOf(atspi, *snapshot, menu)) {
                if (listing.items.size() == kListedItems) break;
                listing.items.push_back(menuName(snapshot->node(item)));
            }
            if (!listing.items.empty()) menus.push_back(std::move(listing));
        }
        return menus;
    });
    if (!gtk4 || bar < 0 || !bringToFront()) return menus;
    return Gtk4MenuBar(bus_, input_, *snapshot, bar)
        .list(kListedMenus, kListedItems, std::chrono::steady_clock::now() + kListingTime);
}

Result<void> AtspiMenus::walk(int32_t pid, const std::vector<std::string>& path, bool click) {
    const std::string failed = click ? "menu click failed: " : "menu hover failed: ";
    std::shared_ptr<AtspiSnapshot> snapshot;
    std::vector<int> nodes;
    std::optional<std::string> missing;
    int gtk4Bar = -1;
    bool found = bus_.withLocked([&](AtspiConnection& atspi) {
        snapshot = snapshotOf(atspi, pid);
        if (!snapshot) return false;
        if (snapshot->toolkit(atspi) == AtspiToolkit::gtk4) gtk4Bar = menuBarOf(atspi, *snapshot);
        if (gtk4Bar < 0) missing = follow(atspi, *snapshot, path, nodes);
        return true;
    });
    if (!found) return fail(noProcess(pid));
    if (gtk4Bar >= 0) {
        Gtk4MenuBar bar(bus_, input_, *snapshot, gtk4Bar);
        if (auto done = click ? bar.click(path) : bar.hover(path); !done) return fail(failed + done.error());
        return succeeded();
    }
    // The menus along the path are opened one by one, and each is read again once open:
    // some toolkits (LibreOffice) fill or rebuild a menu only as it opens, so a step missing
    // before may be there now, and entries read before may have been replaced.
    size_t opened = 0;
    while (true) {
        if (missing && opened == nodes.size()) {
            close(*snapshot, nodes, opened);
            return fail(failed + *missing);
        }
        // Every entry of the path but the last is a menu to open.
        if (!missing && opened + 1 == nodes.size()) break;
        if (auto reached = reach(*snapshot, nodes[opened], true); !reached) {
            close(*snapshot, nodes, opened);
            return fail(failed + reached.error());
        }
        nodes.resize(++opened);
        missing = followOpened(*snapshot, path, nodes);
    }
    if (click) {
        if (auto chosen = reach(*snapshot, nodes.back(), true); !chosen) return fail(failed + chosen.error());
        return succeeded();
    }
    if (auto highlighted = highlight(*snapshot, nodes); !highlighted) return fail(failed + highlighted.error());
    return succeeded();
}

Result<void> AtspiMenus::highlight(AtspiSnapshot& snapshot, const std::vector<int>& nodes) {
    // A menu of the menu bar is shown by opening it.
    if (nodes.size() == 1) return reach(snapshot, nodes.front(), true);
    // Resting on the item highlights it, as it does for a user; a menu that keeps its items
    // off screen gets it selected instead.
    if (reach(snapshot, nodes.back(), false)) return succeeded();
    return bus_.withLocked([&](AtspiConnection& atspi) { return select(atspi, snapshot, nodes.back()); });
}

Result<void> AtspiMenus::click(int32_t pid, const std::vector<std::string>& path) { return walk(pid, path, true); }

Result<void> AtspiMenus::hover(int32_t pid, const std::vector<std::string>& path) { return walk(pid, path, false); }

}  // namespace velmor::platform
