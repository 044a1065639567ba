#pragma once

#include "base/result.h"
#include "platform/input.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_snapshot.h"
#include "platform/menus.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// A GTK 4 menu bar (GTK 4.8). Its menus are on the accessibility bus only while open, its
// items have no action, and nothing tells where they are on screen, so a menu is opened from
// the keyboard as a user without a pointer does: F10 opens the first, the arrow keys move
// along the bar. An open menu is a popover below its bar item with its entries deep inside;
// an entry's "click" action chooses it, or opens its submenu, a popover below the entry.
// GTK leaves the keyboard focus on the bar once its menus have closed: it is given back to
// the widget that had it.
//
// Keys go to the window with the focus: the caller brings the target's window to the front.
// The bus is taken for each look and never held while a key is sent or a menu awaited.
class Gtk4MenuBar {
public:
    Gtk4MenuBar(AtspiBus& bus, Input& input, AtspiSnapshot& snapshot, int bar)
        : bus_(bus), input_(input), snapshot_(snapshot), bar_(bar) {}

    // Opens the menus one after the other, reads their entries and closes them again.
    std::vector<MenuListing> list(size_t mostMenus, size_t mostItems, std::chrono::steady_clock::time_point until);
    // What went wrong, without the operation's own words before it.
    Result<void> click(const std::vector<std::string>& path) { return walk(path, true); }
    // Leaves the menus along the path open and the last entry focused.
    Result<void> hover(const std::vector<std::string>& path) { return walk(path, false); }

private:
    Result<void> walk(const std::vector<std::string>& path, bool click);
    std::vector<int> barItems();
    // The index of the bar item whose menu is open; -1 when none is.
    int openIndex(const std::vector<int>& items);
    // Opens the menu of the bar's item `index`; the popover that shows it.
    Result<int> open(const std::vector<int>& items, size_t index);
    // The popover below an item once it shows, waited for; -1 when it does not come.
    int awaitPopover(int item);
    // The named entries of an open popover, in order, once it shows any.
    std::vector<int> entriesOf(int popover);
    // How many menus are open, the bar's and the submenus within.
    int openDepth(const std::vector<int>& items);
    void closeMenus(const std::vector<int>& items);
    // Closes every open menu and gives the focus back.
    void closeAll(const std::vector<int>& items);
    void giveFocusBack(const std::vector<int>& items);
    bool focused(int node);
    bool barFocused(const std::vector<int>& items);
    // Moves the keyboard's highlight onto the entry, one of the open menu's `entries`.
    Result<void> highlight(int entry, size_t entries);
    // Which widget of the bar's window has the keyboard focus, and where its caret is.
    void noteFocus();

    AtspiBus& bus_;
    Input& input_;
    AtspiSnapshot& snapshot_;
    const int bar_;
    int focusedBefore_ = -1;
    std::optional<int32_t> caretBefore_;
};

}  // namespace velmor::platform
