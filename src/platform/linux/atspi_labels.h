#pragma once

#include "platform/linux/atspi_snapshot.h"

#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// The name a user reads for a node: its accessible name or, where that is missing, the
// widget that labels it (the LABELLED_BY relation: an entry's label beside it), or else, for
// a field or a choice, the label laid just before it. GTK 4 names repeat the label ("7 7")
// or give the widget's type ("GtkButton"), so there the labelling widget comes first, a
// type name counts as no name and a button without one reads as the label inside it; a
// combo box's name that is only its current choice (GTK 3,
// Qt) counts as none. Absent when nothing names the node. With `widgetText` (outside web
// content) the name is read as the widget shows it: see shownText.
std::optional<std::string> readableName(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node, bool widgetText);

// The current choice of a combo box that gives it as its name, as GTK 3 and Qt do for a
// combo box nobody named: its name when that is one of its options.
std::optional<std::string> comboChoice(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node);

// A widget's text as the widget shows it: the text of markup, and for the roles whose texts
// carry a mnemonic, without the toolkit's mnemonic marker.
std::string shownText(AtspiToolkit toolkit, uint32_t role, const std::string& text);

// Asks, for all these nodes at once, for the labelling widgets of those whose readable name
// depends on them, and keeps the answers in the snapshot.
void readLabels(AtspiConnection& atspi, AtspiSnapshot& snapshot, const std::vector<int>& nodes);

}  // namespace velmor::platform
