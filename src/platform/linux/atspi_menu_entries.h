#pragma once

#include "base/result.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_snapshot.h"

#include <cstdint>
#include <string>

namespace velmor::platform {

// What the menu walks of every toolkit share: which objects are menu entries, the names the
// agent reads and gives back in a path, and the entry's own action.

bool isMenuEntryRole(uint32_t role);

// Toolkits pad item names to line up their accelerators ("Find      "); what a user reads
// and types is the name without the blanks around it. The agent reads the names and gives
// them back in a path, so both go by the name as the sanitiser shows it.
std::string menuName(const AtspiNode& node);

std::string inQuotes(const std::string& name);

// Runs the node's first action (menu items have one: "click", which opens a submenu or
// chooses the item), waiting for the application's answer where the session's rules say so.
// Called with the bus lock held.
Result<void> doMenuAction(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node);

}  // namespace velmor::platform
