#pragma once

#include "base/result.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_snapshot.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::platform {

// What the menu walks of every toolkit share: which objects are menu entries, the names the
// agent reads and gives back in a path, and the entry's own action.

bool isMenuEntryRole(uint32_t role);

// Toolkits pad item names to line up their accelerators ("Find      "); what a user reads
// and types is the name without the blanks around it. The agent reads the names and gives
// them back in a path, so both go by the name as the sanitiser shows it.
std::string menuName(const AtspiNode& node);

// The first of `entries` a step of a path names (the blanks around the step do not count);
// -1 when none.
int entryNamed(const AtspiSnapshot& snapshot, const std::vector<int>& entries, std::string_view step);
// What the agent is told of a step that names nothing in `menu`, or in the menu bar when
// `menu` is -1.
std::string missingStep(const AtspiSnapshot& snapshot, int menu, std::string_view step);

std::string inQuotes(const std::string& name);

// Runs the node's first action (menu items have one: "click", which opens a submenu or
// chooses the item), waiting for the application's answer where the session's rules say so.
// Called with the bus lock held.
Result<void> doMenuAction(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node);

}  // namespace velmor::platform
