#include "platform/linux/accessibility_trust.h"

#include "platform/linux/atspi_bus.h"

#include <dbus/dbus.h>

namespace velmor::platform {

namespace {

// org.a11y.Status.IsEnabled, read from the a11y bus launcher on the session bus.
bool accessibilitySwitchOn() {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!session) {
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(session, false);
    bool enabled = false;
    DBusMessage* call = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus",
                                                     "org.freedesktop.DBus.Properties", "Get");
    const char* interface = "org.a11y.Status";
    const char* property = "IsEnabled";
    dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID);
    if (DBusMessage* reply = dbus_connection_send_with_reply_and_block(session, call, kAtspiCallTimeoutMs, &error)) {
        DBusMessageIter iter, variant;
        if (dbus_message_iter_init(reply, &iter) && dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
            dbus_message_iter_recurse(&iter, &variant);
            if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_BOOLEAN) {
                dbus_bool_t value = false;
                dbus_message_iter_get_basic(&variant, &value);
                enabled = value;
            }
        }
        dbus_message_unref(reply);
    }
    dbus_error_free(&error);
    dbus_message_unref(call);
    dbus_connection_close(session);
    dbus_connection_unref(session);
    return enabled;
}

}  // namespace

bool accessibilityTrusted(AtspiBus& bus) {
    bool reachable = bus.withLocked([](AtspiConnection& atspi) { return atspi.connection() != nullptr; });
    return reachable && accessibilitySwitchOn();
}

}  // namespace velmor::platform
