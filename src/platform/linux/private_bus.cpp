#include "platform/linux/private_bus.h"

namespace velmor::platform {

namespace {

// Registers a fresh connection, or closes it and says why.
Result<PrivateBus> registered(DBusConnection* opened, DBusError& error) {
    PrivateBus bus(opened);
    if (!bus) {
        std::string reason = error.message ? error.message : "cannot connect";
        dbus_error_free(&error);
        return fail(reason);
    }
    dbus_connection_set_exit_on_disconnect(bus.get(), false);
    if (dbus_bus_get_unique_name(bus.get()) == nullptr && !dbus_bus_register(bus.get(), &error)) {
        std::string reason = error.message ? error.message : "cannot register on the bus";
        dbus_error_free(&error);
        return fail(reason);
    }
    return bus;
}

}  // namespace

void PrivateBusClose::operator()(DBusConnection* bus) const {
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
}

Result<PrivateBus> openPrivateSessionBus() {
    DBusError error;
    dbus_error_init(&error);
    // dbus_bus_get_private registers the connection itself.
    return registered(dbus_bus_get_private(DBUS_BUS_SESSION, &error), error);
}

Result<PrivateBus> openPrivateBus(const std::string& address) {
    DBusError error;
    dbus_error_init(&error);
    return registered(dbus_connection_open_private(address.c_str(), &error), error);
}

void discardUnaskedMessages(DBusConnection* bus) {
    dbus_connection_read_write(bus, 0);
    // Without handlers, dispatching drops signals and answers calls with an error; replies
    // go to the pending calls that wait for them.
    while (dbus_connection_dispatch(bus) == DBUS_DISPATCH_DATA_REMAINS) {
    }
}

}  // namespace velmor::platform
