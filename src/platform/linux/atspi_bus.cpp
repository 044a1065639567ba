#include "platform/linux/atspi_bus.h"

#include "base/log.h"
#include "platform/linux/dbus_message.h"

#include <cctype>
#include <cstdlib>

namespace velmor::platform {

namespace {

constexpr const char* kRegistry = "org.a11y.atspi.Registry";
constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessibleInterface = "org.a11y.atspi.Accessible";

// Where the accessibility bus listens: as libatspi finds it, from the environment or from the
// bus launcher on the session bus.
Result<std::string> accessibilityBusAddress() {
    if (const char* address = std::getenv("AT_SPI_BUS_ADDRESS"); address && *address) return std::string(address);
    auto session = openPrivateSessionBus();
    VELMOR_RETURN_IF_FAILED(session);
    DbusReply reply = DbusCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress")
                          .send(session->get(), kAtspiCallTimeoutMs);
    if (!reply.hasSignature("s")) return fail("no accessibility bus launcher on the session bus");
    std::string address = reply.reader().string();
    if (address.empty()) return fail("the accessibility bus launcher gave no address");
    return address;
}

}  // namespace

DBusConnection* AtspiConnection::connection() {
    // The accessibility bus belongs to a graphical session (X11 or Wayland): without one there
    // is none, and asking would only go looking for a session bus to start one on.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) {
        failure_ = "no X display (DISPLAY is not set)";
        return nullptr;
    }
    if (bus_ && !dbus_connection_get_is_connected(bus_.get())) {
        Log::info("ax", "the accessibility bus went away; connecting again");
        bus_.reset();
        forgetApplications();
    }
    if (!bus_) {
        auto address = accessibilityBusAddress();
        auto opened = address ? openPrivateBus(*address) : Result<PrivateBus>(fail(address.error()));
        if (!opened) {
            if (failure_.empty()) Log::error("ax", "accessibility bus not reachable: " + opened.error());
            failure_ = "the accessibility bus (AT-SPI) is not reachable";
            return nullptr;
        }
        bus_ = std::move(*opened);
        events_.attach(bus_.get());
    }
    failure_.clear();
    discardUnaskedMessages(bus_.get());
    return bus_.get();
}

void AtspiConnection::forgetApplications() {
    pids_.clear();
    introduced_.clear();
    toolkits_.clear();
}

std::optional<std::string> AtspiConnection::unavailable() {
    if (connection()) return std::nullopt;
    return failure_;
}

std::vector<AtspiApplicationEntry> AtspiConnection::applications(bool withNames) {
    std::vector<AtspiApplicationEntry> entries;
    DBusConnection* bus = connection();
    if (!bus) return entries;

    DbusReply reply = DbusCall(kRegistry, kRootPath, kAccessibleInterface, "GetChildren").send(bus, kAtspiCallTimeoutMs);
    if (!reply.hasSignature("a(so)")) return entries;
    for (DbusReader list = reply.reader().open(); !list.atEnd();) {
        DbusReader reference = list.open();
        entries.push_back({.busName = reference.string()});
    }

    // Ask for every unknown process and every name at once: one round trip for them all.
    std::vector<std::pair<size_t, PendingReply>> pidReplies, nameReplies;
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string& busName = entries[i].busName;
        if (!pids_.count(busName)) {
            pidReplies.emplace_back(i, DbusCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                                                "GetConnectionUnixProcessID")
                                           .add(busName)
                                           .sendLater(bus, kAtspiCallTimeoutMs));
        }
        if (withNames) {
            nameReplies.emplace_back(i, DbusCall(busName, kRootPath, DBUS_INTERFACE_PROPERTIES, "Get")
                                            .add(std::string(kAccessibleInterface))
                                            .add(std::string("Name"))
                                            .sendLater(bus, kAtspiCallTimeoutMs));
        }
    }
    for (auto& [i, pending] : pidReplies) {
        DbusReply pid = pending.wait();
        if (pid.hasSignature("u")) pids_[entries[i].busName] = static_cast<int32_t>(pid.reader().uint32());
    }
    for (auto& [i, pending] : nameReplies) {
        DbusReply name = pending.wait();
        if (name.hasSignature("v")) {
            std::string text = name.reader().open().string();
            if (!text.empty()) entries[i].name = text;
        }
    }

    // Forget applications that have left, and leave out those whose process is unknown.
    std::set<std::string> present;
    std::vector<AtspiApplicationEntry> known;
    for (auto& entry : entries) {
        present.insert(entry.busName);
        auto pid = pids_.find(entry.busName);
        if (pid == pids_.end()) continue;
        entry.pid = pid->second;
        known.push_back(std::move(entry));
    }
    std::erase_if(pids_, [&](const auto& item) { return !present.count(item.first); });
    std::erase_if(introduced_, [&](const std::string& name) { return !present.count(name); });
    std::erase_if(toolkits_, [&](const auto& item) { return !present.count(item.first); });
    return known;
}

std::optional<std::string> AtspiConnection::busNameOf(int32_t pid) {
    for (const auto& entry : applications(false)) {
        if (entry.pid == pid) return entry.busName;
    }
    return std::nullopt;
}

void AtspiConnection::introduceTo(const std::string& busName) {
    DBusConnection* bus = connection();
    if (!bus || introduced_.count(busName)) return;
    // Qt keeps no object cache to wake and has nothing to gain from the call.
    if (toolkitOf(busName) == AtspiToolkit::qt) {
        introduced_.insert(busName);
        return;
    }
    DbusCall(busName, kRootPath, "org.a11y.atspi.Application", "GetApplicationBusAddress").sendWithoutReply(bus);
    // Toolkits without the call keep no cache to wake; they are not asked again either.
    introduced_.insert(busName);
}

AtspiToolkit AtspiConnection::toolkitOf(const std::string& busName) {
    auto known = toolkits_.find(busName);
    if (known != toolkits_.end()) return known->second;
    return toolkits_[busName] = readToolkit(connection(), busName);
}

bool AtspiConnection::followEvents(int32_t pid) {
    DBusConnection* bus = connection();
    auto busName = bus ? busNameOf(pid) : std::nullopt;
    if (!busName) return false;
    events_.follow(bus, *busName);
    return true;
}

const AtspiActivity& AtspiConnection::awaitEvents(std::chrono::milliseconds wait) {
    if (DBusConnection* bus = connection()) {
        dbus_connection_read_write(bus, static_cast<int>(wait.count()));
        discardUnaskedMessages(bus);
    }
    return events_.activity();
}

}  // namespace velmor::platform
