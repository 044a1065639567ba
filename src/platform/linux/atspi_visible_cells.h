#pragma once

#include "platform/linux/dbus_message.h"

#include <dbus/dbus.h>

#include <cstddef>
#include <string>
#include <vector>

namespace velmor::platform {

// The cells of a grid (a spreadsheet's sheet, a long tree view) that its visible area shows,
// as the application's object references ("(so)" replies), row by row from the top left,
// at most `limit` of them, with the column headers of the visible columns first. The visible
// rows and columns are those of the cells at points down the area's left and right edges.
// Empty when the grid does not tell (no Table or Component interface, nothing at those
// points): the caller then has to read it some other way.
std::vector<DbusReply> visibleCells(DBusConnection* bus, const std::string& busName, const std::string& gridPath,
                                    size_t limit);

// The reference of the grid's cell at `row`, `column` (from 0): a "(so)" reply, or an error.
DbusReply cellAt(DBusConnection* bus, const std::string& busName, const std::string& gridPath, int row, int column);

}  // namespace velmor::platform
