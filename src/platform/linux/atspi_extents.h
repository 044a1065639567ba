#pragma once

#include "platform/linux/dbus_message.h"
#include "platform/windows.h"

#include <dbus/dbus.h>

#include <optional>
#include <string>

namespace velmor::platform {

// Asks for an object's Component extents in screen coordinates, without waiting.
PendingReply askScreenExtents(DBusConnection* bus, const std::string& busName, const std::string& path);

// The rectangle of a GetExtents reply; nothing for a failed or malformed one.
std::optional<Frame> extentsFrom(const DbusReply& reply);

// Whether a user could see something at `frame`: entries of closed menus report empty
// rectangles or the smallest coordinates there are.
bool onScreen(const Frame& frame);

}  // namespace velmor::platform
