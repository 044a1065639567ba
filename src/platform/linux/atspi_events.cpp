#include "platform/linux/atspi_events.h"

#include "platform/linux/dbus_message.h"
#include "platform/linux/private_bus.h"

#include <cstdint>
#include <cstring>

namespace velmor::platform {

namespace {

constexpr const char* kEventPrefix = "org.a11y.atspi.Event.";

// What a user would see change: structure, states, texts, names and values, selections
// and windows. Bounds and visible-data events are left out: they come in floods while
// nothing a scan reads has changed.
constexpr const char* kSubscribed[] = {
    "object:children-changed", "object:state-changed", "object:text-changed", "object:property-change",
    "object:selection-changed", "window:create",       "window:destroy",      "window:activate",
    "window:deactivate",
};

}  // namespace

void AtspiEvents::attach(DBusConnection* bus) {
    followed_.clear();
    rule_.clear();
    dbus_connection_add_filter(bus, &AtspiEvents::filter, this, nullptr);
    // The registry keeps the subscriptions for as long as this connection lives.
    for (const char* event : kSubscribed) {
        DbusCall("org.a11y.atspi.Registry", "/org/a11y/atspi/registry", "org.a11y.atspi.Registry", "RegisterEvent")
            .add(std::string(event))
            .sendWithoutReply(bus);
    }
}

void AtspiEvents::follow(DBusConnection* bus, const std::string& busName) {
    if (busName != followed_) {
        // Without an error to fill, libdbus sends the rules without waiting for the daemon.
        if (!rule_.empty()) dbus_bus_remove_match(bus, rule_.c_str(), nullptr);
        rule_ = "type='signal',sender='" + busName + "'";
        dbus_bus_add_match(bus, rule_.c_str(), nullptr);
        followed_ = busName;
    }
    // What arrived before now belongs to what came before.
    discardUnaskedMessages(bus);
    activity_ = {.last = std::chrono::steady_clock::now()};
    windowPath_.clear();
}

DBusHandlerResult AtspiEvents::filter(DBusConnection*, DBusMessage* message, void* self) {
    if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_SIGNAL) static_cast<AtspiEvents*>(self)->take(message);
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

void AtspiEvents::take(DBusMessage* message) {
    const char* sender = dbus_message_get_sender(message);
    const char* interface = dbus_message_get_interface(message);
    const char* member = dbus_message_get_member(message);
    const char* path = dbus_message_get_path(message);
    if (!sender || !interface || !member || !path || followed_ != sender) return;
    if (std::strncmp(interface, kEventPrefix, std::strlen(kEventPrefix)) != 0) return;

    auto now = std::chrono::steady_clock::now();
    activity_.last = now;
    ++activity_.events;
    std::string kind = interface + std::strlen(kEventPrefix);
    std::string state;
    int32_t on = 0;
    if (kind == "Object" && std::strcmp(member, "StateChanged") == 0) {
        DbusReader reader(message);
        state = reader.string();
        on = reader.int32();
    }
    if (state != "focused" && state != "armed" && state != "pressed") ++activity_.effects;
    if (kind == "Window" && std::strcmp(member, "Create") == 0) {
        activity_.windowComing = true;
        activity_.windowCreated = now;
        windowPath_ = path;
        return;
    }
    if (!activity_.windowComing || windowPath_ != path) return;
    if ((kind == "Window" && std::strcmp(member, "Activate") == 0) || ((state == "showing" || state == "active") && on == 1))
        activity_.windowComing = false;
}

}  // namespace velmor::platform
