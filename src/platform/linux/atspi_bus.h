#pragma once

#include "base/guarded.h"
#include "platform/linux/atspi_events.h"
#include "platform/linux/atspi_toolkit.h"
#include "platform/linux/private_bus.h"

#include <dbus/dbus.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmor::platform {

// How long one call may wait for an application. A hung application must not hold a tool
// call for long; a busy one answers well within this.
inline constexpr int kAtspiCallTimeoutMs = 2000;
// Reading a whole user interface in one call takes longer for large applications.
inline constexpr int kAtspiBulkTimeoutMs = 5000;

// An application registered on the accessibility bus.
struct AtspiApplicationEntry {
    std::string busName;
    std::optional<std::string> name;
    int32_t pid = 0;
};

// Velmor's own connection to the AT-SPI accessibility bus, as the holder of the bus lock sees
// it: only AtspiBus::withLocked hands one out.
//
// Threads: GTK's accessibility bridge in this process has libatspi's shared connection and
// dispatches it from the main loop; Velmor never touches that connection nor libatspi's
// state. Its own connection is private (see PrivateBus): opened here, used only by the
// thread that holds the bus lock, dispatched by no main loop, opened again after the bus
// went away.
class AtspiConnection {
public:
    AtspiConnection(const AtspiConnection&) = delete;
    AtspiConnection& operator=(const AtspiConnection&) = delete;

    // The connection, made on first use (and again after the bus went away); null when the
    // bus cannot be reached, with the reason in unavailable().
    DBusConnection* connection();
    std::optional<std::string> unavailable();
    // The registered applications in registration order, with their names when asked for.
    std::vector<AtspiApplicationEntry> applications(bool withNames);
    // The bus name of the application running as `pid`.
    std::optional<std::string> busNameOf(int32_t pid);
    // Toolkits built on ATK keep their object cache, and answer its bulk read, only once an
    // assistive client has introduced itself; this does so once per application, without
    // waiting: the application builds the cache before it answers anything asked after.
    void introduceTo(const std::string& busName);
    // The toolkit the application is built with, asked once per application.
    AtspiToolkit toolkitOf(const std::string& busName);
    // From now on, the accessibility events of the application running as `pid` are followed
    // (those of one application at a time); false when it is not on the bus.
    bool followEvents(int32_t pid);
    // The bus name of the application followed; empty when none.
    const std::string& followed() const { return events_.followed(); }
    // Waits up to `wait` for messages, and takes in every event that has arrived: what the
    // followed application has done since it was first followed.
    const AtspiActivity& awaitEvents(std::chrono::milliseconds wait);

private:
    friend class Guarded<AtspiConnection>;
    AtspiConnection() = default;
    void forgetApplications();

    PrivateBus bus_;
    std::string failure_;
    std::map<std::string, int32_t> pids_;  // bus name -> process; fixed for a bus name's life
    std::set<std::string> introduced_;
    std::map<std::string, AtspiToolkit> toolkits_;  // bus name -> toolkit
    // Declared after bus_: its filter belongs to the connection and goes before it.
    AtspiEvents events_;
};

// A libdbus connection must not be used by two threads at once here (pending calls block on
// it and drain it), and the snapshots read through the bus are shared by the elements of a
// scan, so every AT-SPI read and action of Velmor runs inside withLocked, which holds the bus lock while `use` runs; a snapshot's nodes are read and
// completed only there too. Lock order: the session's lock, then the bus lock, then the
// display lock (X11Display); never the other way round.
class AtspiBus : public Guarded<AtspiConnection> {};

}  // namespace velmor::platform
