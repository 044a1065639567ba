#include "automation/menu_actions.h"

namespace velmor::automation {

nlohmann::json listMenus(platform::Menus& menus, int32_t pid, const std::function<bool()>& bringToFront) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& menu : menus.listMenus(pid, bringToFront)) list.push_back({{"menu", menu.menu}, {"items", menu.items}});
    return list;
}

Result<void> menuClick(platform::Menus& menus, int32_t pid, const std::vector<std::string>& path) {
    if (path.size() < 2) return fail("menu path needs at least 2 items (menu bar item + menu item)");
    return menus.click(pid, path);
}

Result<void> menuHover(platform::Menus& menus, int32_t pid, const std::vector<std::string>& path) {
    if (path.empty()) return fail("empty menu path");
    return menus.hover(pid, path);
}

}  // namespace velmor::automation
