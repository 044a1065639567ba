#pragma once

#include "platform/linux/atspi_snapshot.h"

#include <optional>
#include <vector>

namespace velmor::platform {

// The row of each of `children` in `table`, for a table that lists its cells (or rows) as its
// own children, as GTK 3 tree views and Qt item views do: asked all at once, one answer per
// child, nothing where the child is no cell or row or the table does not say. Nothing at all
// for a node that is not a table.
std::vector<std::optional<int>> rowsInTable(AtspiConnection& atspi, const AtspiSnapshot& snapshot, int table,
                                            const std::vector<int>& children);

}  // namespace velmor::platform
