#pragma once

#include <dbus/dbus.h>

#include <chrono>
#include <string>

namespace velmor::platform {

// What one application's accessibility events have told since it began to be followed.
struct AtspiActivity {
    std::chrono::steady_clock::time_point last;  // its latest event, or when following began
    int events = 0;
    // The events that tell an effect: all but the focus and press states a press itself
    // sets on what was pressed.
    int effects = 0;
    // A window it created has not come on screen yet (neither shown nor activated); since when.
    bool windowComing = false;
    std::chrono::steady_clock::time_point windowCreated;
};

// The accessibility events of the application being followed, as they reach Velmor's own
// connection to the accessibility bus.
//
// Threads: lives inside AtspiConnection and is reached only with the bus lock held. Its
// filter runs inside dbus_connection_dispatch on that connection, which only the holder of
// the bus lock calls; nothing else touches it.
class AtspiEvents {
public:
    AtspiEvents() = default;
    AtspiEvents(const AtspiEvents&) = delete;
    AtspiEvents& operator=(const AtspiEvents&) = delete;

    // On each fresh connection: installs the filter and asks the registry to have applications
    // send the events that tell a user interface changing. Toolkits send none nobody asked for.
    void attach(DBusConnection* bus);
    // From now on, the events of `busName` count; those before are forgotten. The bus daemon
    // passes on only that application's events, so the rest of the desktop costs nothing.
    void follow(DBusConnection* bus, const std::string& busName);
    const std::string& followed() const { return followed_; }
    const AtspiActivity& activity() const { return activity_; }

private:
    static DBusHandlerResult filter(DBusConnection* bus, DBusMessage* message, void* self);
    void take(DBusMessage* message);

    std::string followed_;
    std::string rule_;
    std::string windowPath_;  // the window awaited while activity_.windowComing
    AtspiActivity activity_;
};

}  // namespace velmor::platform
