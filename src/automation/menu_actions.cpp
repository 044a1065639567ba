#include "automation/menu_actions.h"

namespace velmor::automation {

namespace {

std::string noProcess(int32_t pid) { return "can't find process name for PID " + std::to_string(pid); }

}  // namespace

nlohmann::json listMenus(platform::Menus& menus, int32_t pid) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& menu : menus.listMenus(pid)) list.push_back({{"menu", menu.menu}, {"items", menu.items}});
    return list;
}

std::optional<std::string> menuClick(platform::Menus& menus, int32_t pid, const std::vector<std::string>& path) {
    if (path.size() < 2) return "menu path needs at least 2 items (menu bar item + menu item)";
    auto outcome = menus.click(pid, path);
    if (!outcome.applicationFound) return noProcess(pid);
    if (outcome.error) return "menu click failed: " + *outcome.error;
    return std::nullopt;
}

std::optional<std::string> menuHover(platform::Menus& menus, int32_t pid, const std::vector<std::string>& path) {
    if (path.empty()) return "empty menu path";
    auto outcome = menus.hover(pid, path);
    if (!outcome.applicationFound) return noProcess(pid);
    if (outcome.error) return "menu hover failed: " + *outcome.error;
    return std::nullopt;
}

}  // namespace velmor::automation
