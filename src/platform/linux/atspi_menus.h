#pragma once

#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_snapshot.h"
#include "platform/input.h"
#include "platform/menus.h"
#include "platform/windows.h"

#include <memory>
#include <mutex>
#include <optional>
#include <variant>

namespace velmor::platform {

// The menu bar of an application's window through AT-SPI: the bar's children are its
// menus, a menu's children its items, and an item with a submenu is a menu itself. The
// window with the focus is preferred; otherwise the first window that has a menu bar.
//
// Menus are opened and items chosen with the pointer, as a user does: an item's command
// then runs from the application's own event loop. Chosen through the accessibility action
// instead, a command that runs a modal dialog would hold up the application's accessibility
// dispatch until the dialog closed. The action is used only for an entry that does not
// come on screen.
class AtspiMenus final : public Menus {
public:
    AtspiMenus(AtspiBus& bus, Input& input) : bus_(bus), input_(input) {}

    std::vector<MenuListing> listMenus(int32_t pid) override;
    MenuOutcome click(int32_t pid, const std::vector<std::string>& path) override;
    MenuOutcome hover(int32_t pid, const std::vector<std::string>& path) override;

private:
    // Called with the bus lock held.
    std::shared_ptr<AtspiSnapshot> snapshotOf(int32_t pid);
    // The nodes along `path` from the menu bar, or the message naming the first step
    // that matches nothing.
    std::variant<std::vector<int>, std::string> follow(AtspiSnapshot& snapshot, const std::vector<std::string>& path);
    // Where the entry shows on screen, once it does; waits for a menu that is opening, with
    // the bus lock released meanwhile.
    std::optional<Frame> shownFrame(std::unique_lock<std::mutex>& guard, AtspiSnapshot& snapshot, int node);
    // Points at the entry and clicks it when `click`, else only moves there; an entry that
    // does not come on screen is opened or chosen through its action when `click`.
    std::optional<std::string> reach(std::unique_lock<std::mutex>& guard, AtspiSnapshot& snapshot, int node,
                                     bool click);

    AtspiBus& bus_;
    Input& input_;
};

}  // namespace velmor::platform
