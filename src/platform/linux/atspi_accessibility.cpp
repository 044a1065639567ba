#include "platform/linux/atspi_accessibility.h"

#include "platform/linux/atspi_element.h"
#include "platform/linux/atspi_snapshot.h"

namespace velmor::platform {

std::unique_ptr<AccessibleApplication> AtspiAccessibility::application(int32_t pid) {
    auto guard = bus_.lock();
    auto busName = bus_.busNameOf(pid);
    if (!busName) return nullptr;
    auto snapshot = AtspiSnapshot::read(bus_, *busName);
    if (snapshot->root() < 0) return nullptr;
    return std::make_unique<AtspiApplicationElement>(std::move(snapshot));
}

void AtspiAccessibility::prepare(int32_t pid) {
    auto guard = bus_.lock();
    if (auto busName = bus_.busNameOf(pid)) bus_.introduceTo(*busName);
}

}  // namespace velmor::platform
