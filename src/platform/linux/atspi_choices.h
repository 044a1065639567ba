#pragma once

#include "platform/accessibility.h"
#include "platform/linux/atspi_snapshot.h"

#include <optional>
#include <string>

namespace velmor::platform {

// The item of the combo box `combo` that offers `option`, found among the items of the menu
// (GTK 3) or list (Qt) below it, whether open or closed; nothing when it has none.
std::optional<int> optionNode(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo, const std::string& option);

// The item that offers `option` in the list the combo box has popped up apart from itself, as
// a child of its window (Firefox shows a page's select list so, a combo box of its own whose
// items are on screen while the page's stay nowhere). Nothing when no such list offers it.
std::optional<int> poppedUpOptionNode(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo,
                                      const std::string& option);

// The option the combo box shows now, asked of the application: its selected item (through
// its Selection, as GTK 3 tells it), else its own name where that is one of its options
// (Qt, unnamed GTK 3 combo boxes), else the item selected in the list below it (Firefox).
// Nothing when none says.
std::optional<std::string> shownOption(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo);

// Makes `option` the combo box's choice through its Selection without opening its list, as
// GTK 3 offers it. Nothing once the application took the request.
std::optional<AccessibilityError> selectOption(AtspiConnection& atspi, AtspiSnapshot& snapshot, int combo,
                                               const std::string& option);

}  // namespace velmor::platform
