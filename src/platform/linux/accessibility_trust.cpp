#include "platform/linux/accessibility_trust.h"

#include "platform/linux/atspi_bus.h"
#include "platform/linux/dbus_message.h"
#include "platform/linux/private_bus.h"

namespace velmor::platform {

namespace {

// org.a11y.Status.IsEnabled, read from the a11y bus launcher on the session bus, through a
// connection of its own (the checks run on any thread; see PrivateBus).
bool accessibilitySwitchOn() {
    auto session = openPrivateSessionBus();
    if (!session) return false;
    DbusReply enabled = getProperty(session->get(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Status", "IsEnabled",
                                    kAtspiCallTimeoutMs);
    return enabled.hasSignature("v") && enabled.reader().open().boolean();
}

}  // namespace

bool accessibilityTrusted(AtspiBus& bus) {
    bool reachable = bus.withLocked([](AtspiConnection& atspi) { return atspi.connection() != nullptr; });
    return reachable && accessibilitySwitchOn();
}

}  // namespace velmor::platform
