#pragma once

#include "platform/menus.h"

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace velmor::automation {

// The target's menu-bar menus with their named items: [{"menu", "items"}], menus without
// a named item left out.
nlohmann::json listMenus(platform::Menus& menus, int32_t pid, const std::function<bool()>& bringToFront);

// Chooses the item at the end of `path`: a menu of the menu bar, then the items down to it.
Result<void> menuClick(platform::Menus& menus, int32_t pid, const std::vector<std::string>& path);

// Opens the menus along `path` and highlights its last item without choosing it.
Result<void> menuHover(platform::Menus& menus, int32_t pid, const std::vector<std::string>& path);

}  // namespace velmor::automation
