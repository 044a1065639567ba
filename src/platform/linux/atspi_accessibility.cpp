#include "platform/linux/atspi_accessibility.h"

#include "platform/linux/atspi_element.h"
#include "platform/linux/atspi_snapshot.h"

namespace velmor::platform {

std::unique_ptr<AccessibleApplication> AtspiAccessibility::application(int32_t pid) {
    return bus_.withLocked([&](AtspiConnection& atspi) -> std::unique_ptr<AccessibleApplication> {
        auto busName = atspi.busNameOf(pid);
        if (!busName) return nullptr;
        auto snapshot = AtspiSnapshot::read(bus_, atspi, *busName);
        snapshot->followRules(rules_, pid);
        if (snapshot->root() < 0) return nullptr;
        return std::make_unique<AtspiApplicationElement>(std::move(snapshot));
    });
}

void AtspiAccessibility::prepare(int32_t pid) {
    bus_.withLocked([&](AtspiConnection& atspi) {
        if (auto busName = atspi.busNameOf(pid)) atspi.introduceTo(*busName);
    });
}

}  // namespace velmor::platform
