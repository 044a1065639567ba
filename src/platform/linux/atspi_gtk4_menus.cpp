#include "platform/linux/atspi_gtk4_menus.h"

#include "platform/linux/atspi_menu_entries.h"
#include "platform/linux/atspi_roles.h"
#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <thread>

namespace velmor::platform {

namespace {

// How long a menu gets to open or close.
constexpr auto kMenuWait = std::chrono::milliseconds(1500);
constexpr auto kMenuPoll = std::chrono::milliseconds(20);
// How long the bar gets to take the focus once its menus closed, and a widget to take it
// when it is moved on; how many widgets it is moved over at most.
constexpr auto kFocusReturn = std::chrono::milliseconds(300);
constexpr auto kFocusMove = std::chrono::milliseconds(100);
constexpr size_t kMostFocusMoves = 64;
// How far the looks into a popover and into the window go.
constexpr int kDepth = 24;
constexpr size_t kLookedAt = 2000;

// Polls `done` until it holds or the menu's time is up.
template <typename Done>
bool awaited(Done done, std::chrono::milliseconds within = kMenuWait) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kMenuPoll);
    }
    return true;
}

// The popover below a bar item or an entry: there only while its menu is open.
int popoverBelow(AtspiConnection& atspi, AtspiSnapshot& snapshot, int item) {
    snapshot.forgetChildren(item);
    for (int child : snapshot.childrenOf(atspi, item))
        if (snapshot.node(child).role == ATSPI_ROLE_MENU) return child;
    return -1;
}

bool hasStateNow(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node, AtspiStateType state) {
    auto states = snapshot.statesNow(atspi, node);
    return states && ((*states >> state) & 1u);
}

// Where the caret of a text is; none for what holds no text.
std::optional<int32_t> caretOf(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node) {
    DBusConnection* connection = atspi.connection();
    if (!connection || !(snapshot.node(node).interfaces & kTextInterface)) return std::nullopt;
    DbusReply reply = DbusCall(snapshot.busName(), snapshot.node(node).path, DBUS_INTERFACE_PROPERTIES, "Get")
                          .add(std::string("org.a11y.atspi.Text"))
                          .add(std::string("CaretOffset"))
                          .send(connection, kAtspiCallTimeoutMs);
    if (!reply.hasSignature("v")) return std::nullopt;
    return reply.reader().open().int32();
}

void putCaret(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node, int32_t offset) {
    if (DBusConnection* connection = atspi.connection())
        DbusCall(snapshot.busName(), snapshot.node(node).path, "org.a11y.atspi.Text", "SetCaretOffset")
            .add(offset)
            .send(connection, kAtspiCallTimeoutMs);
}

// The named entries below `node` in the order they show, read afresh: a popover's content is
// built as it opens. Submenus' popovers are left out, their entries being theirs.
void collectEntries(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node, int depth, size_t& lookedAt,
                    std::vector<int>& entries) {
    if (depth >= kDepth) return;
    snapshot.forgetChildren(node);
    for (int child : snapshot.childrenOf(atspi, node)) {
        if (++lookedAt > kLookedAt) return;
        const AtspiNode& entry = snapshot.node(child);
        if (entry.role == ATSPI_ROLE_MENU) continue;
        if (isMenuEntryRole(entry.role)) {
            if (!menuName(entry).empty()) entries.push_back(child);
            continue;
        }
        collectEntries(atspi, snapshot, child, depth + 1, lookedAt, entries);
    }
}

int focusedBelow(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node, int skip, int depth, size_t& lookedAt) {
    if (depth >= kDepth) return -1;
    for (int child : snapshot.childrenOf(atspi, node)) {
        if (++lookedAt > kLookedAt) return -1;
        const AtspiNode& widget = snapshot.node(child);
        if (child == skip || !widget.has(ATSPI_STATE_VISIBLE)) continue;
        if (widget.has(ATSPI_STATE_FOCUSED)) return child;
        if (int found = focusedBelow(atspi, snapshot, child, skip, depth + 1, lookedAt); found >= 0) return found;
    }
    return -1;
}

}  // namespace

std::vector<int> Gtk4MenuBar::barItems() {
    return bus_.withLocked([&](AtspiConnection& atspi) {
        std::vector<int> items;
        for (int child : snapshot_.childrenOf(atspi, bar_))
            if (isMenuEntryRole(snapshot_.node(child).role) && !menuName(snapshot_.node(child)).empty())
                items.push_back(child);
        return items;
    });
}

int Gtk4MenuBar::openIndex(const std::vector<int>& items) {
    return bus_.withLocked([&](AtspiConnection& atspi) {
        for (size_t i = 0; i < items.size(); ++i)
            if (popoverBelow(atspi, snapshot_, items[i]) >= 0) return static_cast<int>(i);
        return -1;
    });
}

int Gtk4MenuBar::awaitPopover(int item) {
    int popover = -1;
    awaited([&] {
        popover = bus_.withLocked([&](AtspiConnection& atspi) { return popoverBelow(atspi, snapshot_, item); });
        return popover >= 0;
    });
    return popover;
}

Result<int> Gtk4MenuBar::open(const std::vector<int>& items, size_t index) {
    const int wanted = static_cast<int>(index);
    // The arrow moves along the bar only from one of the bar's own menus: a submenu left open
    // (by a hover) is closed first, and with it every menu.
    if (openDepth(items) > 1) {
        closeMenus(items);
        awaited([&] { return barFocused(items); }, kFocusReturn);
    }
    int current = openIndex(items);
    if (current < 0) {
        // F10 goes to whichever window has the focus: only the bar's own may get it.
        bool active = bus_.withLocked([&](AtspiConnection& atspi) {
            int window = snapshot_.windowOf(bar_);
            return window >= 0 && hasStateNow(atspi, snapshot_, window, ATSPI_STATE_ACTIVE);
        });
        if (!active) return fail("the menu bar's window is not the active one");
        if (auto pressed = input_.pressKey(NamedKey::f10, {}); !pressed) return fail(pressed.error());
        if (!awaited([&] { return (current = openIndex(items)) >= 0; }))
            return fail("the menu bar does not open from the keyboard (F10)");
    }
    // Left moves to the bar's menu before, wrapping round at the first (Right would open the
    // submenu of an entry that has one). Each step is awaited; a step may pass over an item
    // the bar skips, so steps are bounded, not counted.
    for (size_t steps = 0; current != wanted; ++steps) {
        const int before = current;
        if (steps > items.size()) return fail(inQuotes(menuName(snapshot_.node(items[index]))) + " does not open");
        if (auto pressed = input_.pressKey(NamedKey::left, {}); !pressed) return fail(pressed.error());
        if (!awaited([&] { return (current = openIndex(items)) >= 0 && current != before; }))
            return fail(inQuotes(menuName(snapshot_.node(items[index]))) + " does not open");
    }
    int popover = awaitPopover(items[index]);
    if (popover < 0) return fail(inQuotes(menuName(snapshot_.node(items[index]))) + " does not open");
    return popover;
}

std::vector<int> Gtk4MenuBar::entriesOf(int popover) {
    std::vector<int> entries;
    awaited([&] {
        entries.clear();
        size_t lookedAt = 0;
        bus_.withLocked([&](AtspiConnection& atspi) { collectEntries(atspi, snapshot_, popover, 0, lookedAt, entries); });
        return !entries.empty();
    });
    return entries;
}

void Gtk4MenuBar::noteFocus() {
    bus_.withLocked([&](AtspiConnection& atspi) {
        int window = snapshot_.windowOf(bar_);
        size_t lookedAt = 0;
        focusedBefore_ = window < 0 ? -1 : focusedBelow(atspi, snapshot_, window, bar_, 0, lookedAt);
        caretBefore_ = focusedBefore_ < 0 ? std::nullopt : caretOf(atspi, snapshot_, focusedBefore_);
    });
}

Result<void> Gtk4MenuBar::highlight(int entry, size_t entries) {
    // The keyboard's highlight is the focus: the arrow moves it down the open menu, which
    // wraps around, until it rests on the entry.
    for (size_t moves = 0; !focused(entry); ++moves) {
        if (moves > entries) return fail(inQuotes(menuName(snapshot_.node(entry))) + " cannot be highlighted");
        if (auto pressed = input_.pressKey(NamedKey::down, {}); !pressed) return fail(pressed.error());
        awaited([&] { return focused(entry); }, kFocusMove);
    }
    return succeeded();
}

bool Gtk4MenuBar::barFocused(const std::vector<int>& items) {
    for (int item : items)
        if (focused(item)) return true;
    return false;
}

bool Gtk4MenuBar::focused(int node) {
    return bus_.withLocked([&](AtspiConnection& atspi) { return hasStateNow(atspi, snapshot_, node, ATSPI_STATE_FOCUSED); });
}

void Gtk4MenuBar::giveFocusBack(const std::vector<int>& items) {
    if (focusedBefore_ < 0) return;
    // GTK puts the focus on the bar once its menus have closed, in its own time.
    if (!awaited([&] { return barFocused(items); }, kFocusReturn)) return;
    // GTK 4.8 answers no accessible request for the focus (GrabFocus answers false): it is
    // moved on from the bar with Ctrl+Tab, which every widget takes as a move (a text view
    // takes a plain Tab as text), until the widget that had it has it again.
    // A text the focus comes to from the keyboard has all its text selected, which the next
    // key typed would replace: its caret goes back where it was, with nothing selected.
    for (size_t moves = 0; moves < kMostFocusMoves; ++moves) {
        if (!input_.pressKey(NamedKey::tab, {.control = true})) return;
        if (!awaited([&] { return focused(focusedBefore_); }, kFocusMove)) continue;
        if (caretBefore_)
            bus_.withLocked([&](AtspiConnection& atspi) { putCaret(atspi, snapshot_, focusedBefore_, *caretBefore_); });
        return;
    }
}

int Gtk4MenuBar::openDepth(const std::vector<int>& items) {
    const int index = openIndex(items);
    if (index < 0) return 0;
    return bus_.withLocked([&](AtspiConnection& atspi) {
        int depth = 0;
        for (int popover = popoverBelow(atspi, snapshot_, items[index]); popover >= 0 && depth < kDepth;) {
            ++depth;
            std::vector<int> entries;
            size_t lookedAt = 0;
            collectEntries(atspi, snapshot_, popover, 0, lookedAt, entries);
            int below = -1;
            for (size_t i = 0; i < entries.size() && below < 0; ++i) below = popoverBelow(atspi, snapshot_, entries[i]);
            popover = below;
        }
        return depth;
    });
}

void Gtk4MenuBar::closeMenus(const std::vector<int>& items) {
    // Escape closes the open menu and every menu it was opened from; it is sent only while a
    // menu shows, as it would reach whatever else has the focus.
    for (int open = openDepth(items), keys = 0; open > 0 && keys < kDepth; ++keys) {
        if (!input_.pressKey(NamedKey::escape, {})) return;
        int now = open;
        if (!awaited([&] { return (now = openDepth(items)) < open; })) return;
        open = now;
    }
}

void Gtk4MenuBar::closeAll(const std::vector<int>& items) {
    closeMenus(items);
    giveFocusBack(items);
}

std::vector<MenuListing> Gtk4MenuBar::list(size_t mostMenus, size_t mostItems,
                                           std::chrono::steady_clock::time_point until) {
    std::vector<MenuListing> menus;
    const std::vector<int> items = barItems();
    noteFocus();
    for (size_t i = 0; i < items.size(); ++i) {
        if (menus.size() == mostMenus || std::chrono::steady_clock::now() >= until) break;
        auto popover = open(items, i);
        if (!popover) break;
        MenuListing listing{menuName(snapshot_.node(items[i])), {}};
        for (int entry : entriesOf(*popover)) {
            if (listing.items.size() == mostItems) break;
            listing.items.push_back(menuName(snapshot_.node(entry)));
        }
        if (!listing.items.empty()) menus.push_back(std::move(listing));
    }
    closeAll(items);
    return menus;
}

Result<void> Gtk4MenuBar::walk(const std::vector<std::string>& path, bool click) {
    const std::vector<int> items = barItems();
    const int item = entryNamed(snapshot_, items, path.front());
    if (item < 0) return fail(missingStep(snapshot_, -1, path.front()));
    const size_t index = std::find(items.begin(), items.end(), item) - items.begin();

    noteFocus();
    auto popover = open(items, index);
    if (!popover) {
        closeAll(items);
        return fail(popover.error());
    }
    int menu = item;
    for (size_t step = 1; step < path.size(); ++step) {
        const std::vector<int> entries = entriesOf(*popover);
        const int entry = entryNamed(snapshot_, entries, path[step]);
        if (entry < 0) {
            closeAll(items);
            return fail(missingStep(snapshot_, menu, path[step]));
        }
        const bool last = step + 1 == path.size();
        if (last && !click) return highlight(entry, entries.size());
        auto done = bus_.withLocked([&](AtspiConnection& atspi) { return doMenuAction(atspi, snapshot_, entry); });
        if (!done) {
            closeAll(items);
            return done;
        }
        if (last) {
            // The chosen entry closes its menus; the focus they leave on the bar goes back.
            awaited([&] { return openIndex(items) < 0; });
            giveFocusBack(items);
            return succeeded();
        }
        menu = entry;
        popover = awaitPopover(entry);
        if (*popover < 0) {
            closeAll(items);
            return fail(inQuotes(menuName(snapshot_.node(entry))) + " does not open");
        }
    }
    return succeeded();
}

}  // namespace velmor::platform
