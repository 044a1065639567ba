#pragma once

#include "platform/linux/atspi_snapshot.h"

#include <optional>
#include <string>
#include <vector>

namespace velmor::platform {

// The name a user reads for a node: its accessible name or, where that is missing, the
// widget that labels it (the LABELLED_BY relation: an entry's label beside it). GTK 4 names
// repeat the label ("7 7") or give the widget's type ("GtkButton"), so there the labelling
// widget comes first and a type name counts as no name. Absent when nothing names the node.
std::optional<std::string> readableName(AtspiConnection& atspi, AtspiSnapshot& snapshot, int node);

// Asks, for all these nodes at once, for the labelling widgets of those whose readable name
// depends on them, and keeps the answers in the snapshot.
void readLabels(AtspiConnection& atspi, AtspiSnapshot& snapshot, const std::vector<int>& nodes);

}  // namespace velmor::platform
