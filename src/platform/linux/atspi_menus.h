#pragma once

#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_session_rules.h"
#include "platform/linux/atspi_snapshot.h"
#include "platform/input.h"
#include "platform/menus.h"
#include "platform/windows.h"

#include <memory>
#include <optional>

namespace velmor::platform {

// The menu bar of an application's window through AT-SPI: the bar's children are its
// menus, a menu's children its items, and an item with a submenu is a menu itself. The
// window with the focus is preferred; otherwise the first window that has a menu bar.
//
// Menus are opened and items chosen with the pointer, as a user does: an item's command
// then runs from the application's own event loop. Chosen through the accessibility action
// instead, a command that runs a modal dialog would hold up the application's accessibility
// dispatch until the dialog closed. The action is used only for an entry that does not
// come on screen, and for every entry where the session places no menu on screen (Wayland:
// menus are pop-ups the compositor does not list); it is then sent as the session's rules
// say, without waiting for its answer under Wayland.
class AtspiMenus final : public Menus {
public:
    AtspiMenus(AtspiBus& bus, Input& input, AtspiSessionRules rules = {})
        : bus_(bus), input_(input), rules_(std::move(rules)) {}

    std::vector<MenuListing> listMenus(int32_t pid, const std::function<bool()>& bringToFront) override;
    Result<void> click(int32_t pid, const std::vector<std::string>& path) override;
    Result<void> hover(int32_t pid, const std::vector<std::string>& path) override;

private:
    std::shared_ptr<AtspiSnapshot> snapshotOf(AtspiConnection& atspi, int32_t pid);
    // Follows `path` on from the last of `nodes` (from the menu bar when there are none),
    // adding the node of each step found; the message naming the first step that matches
    // nothing.
    std::optional<std::string> follow(AtspiConnection& atspi, AtspiSnapshot& snapshot,
                                      const std::vector<std::string>& path, std::vector<int>& nodes);
    // follow, for the menu of the last of `nodes`, which has just been opened: its entries
    // are read again until it shows them.
    std::optional<std::string> followOpened(AtspiSnapshot& snapshot, const std::vector<std::string>& path,
                                            std::vector<int>& nodes);
    // Closes the first `opened` menus of `nodes`, which a path that led nowhere opened,
    // innermost first.
    void close(AtspiSnapshot& snapshot, const std::vector<int>& nodes, size_t opened);
    // Where the entry shows on screen, once it does; waits for a menu that is opening, with
    // the bus free meanwhile.
    std::optional<Frame> shownFrame(AtspiSnapshot& snapshot, int node);
    // Points at the entry and clicks it when `click`, else only moves there; an entry that
    // does not come on screen is opened or chosen through its action when `click`.
    Result<void> reach(AtspiSnapshot& snapshot, int node, bool click);
    // The menu operation: "can't find process name for PID <pid>", or what went wrong after
    // "menu click failed: " or "menu hover failed: ".
    Result<void> walk(int32_t pid, const std::vector<std::string>& path, bool click);
    // Highlights the last entry of `nodes`, the menus before it being open.
    Result<void> highlight(AtspiSnapshot& snapshot, const std::vector<int>& nodes);

    AtspiBus& bus_;
    Input& input_;
    const AtspiSessionRules rules_;
};

}  // namespace velmor::platform
