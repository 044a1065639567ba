#pragma once

#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_snapshot.h"
#include "platform/menus.h"

#include <memory>
#include <variant>

namespace velmor::platform {

// The menu bar of an application's window through AT-SPI: the bar's children are its
// menus, a menu's children its items, and an item with a submenu is a menu itself. The
// window with the focus is preferred; otherwise the first window that has a menu bar.
class AtspiMenus final : public Menus {
public:
    explicit AtspiMenus(AtspiBus& bus) : bus_(bus) {}

    std::vector<MenuListing> listMenus(int32_t pid) override;
    MenuOutcome click(int32_t pid, const std::vector<std::string>& path) override;
    MenuOutcome hover(int32_t pid, const std::vector<std::string>& path) override;

private:
    // Called with the bus lock held.
    std::shared_ptr<AtspiSnapshot> snapshotOf(int32_t pid);
    // The nodes along `path` from the menu bar, or the message naming the first step
    // that matches nothing.
    std::variant<std::vector<int>, std::string> follow(AtspiSnapshot& snapshot, const std::vector<std::string>& path);

    AtspiBus& bus_;
};

}  // namespace velmor::platform
