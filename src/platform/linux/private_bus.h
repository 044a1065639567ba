#pragma once

#include "base/result.h"

#include <dbus/dbus.h>

#include <memory>
#include <string>

namespace velmor::platform {

struct PrivateBusClose {
    void operator()(DBusConnection* bus) const;
};

// A D-Bus connection that belongs to one owner alone: libdbus hands out its shared
// connections (dbus_bus_get) to every library of the process, and GLib-based ones (GTK's
// accessibility bridge, libatspi) dispatch those from the main loop; a connection of our
// own is used only by the thread that holds its owner's lock and is never dispatched by
// anyone else. It does not end the process when the bus goes away.
using PrivateBus = std::unique_ptr<DBusConnection, PrivateBusClose>;

// A registered private connection to the user's session bus.
Result<PrivateBus> openPrivateSessionBus();
// A registered private connection to the bus at `address`.
Result<PrivateBus> openPrivateBus(const std::string& address);

// Handles what arrived unasked (signals, calls) so that it does not pile up on a connection
// that no main loop dispatches: the connection's filters see it first. Replies to calls in
// flight are kept for their waiters.
void discardUnaskedMessages(DBusConnection* bus);

}  // namespace velmor::platform
