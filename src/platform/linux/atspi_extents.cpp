#include "platform/linux/atspi_extents.h"

#include "platform/linux/atspi_bus.h"

#include <atspi/atspi-constants.h>

namespace velmor::platform {

PendingReply askScreenExtents(DBusConnection* bus, const std::string& busName, const std::string& path) {
    return DbusCall(busName, path, "org.a11y.atspi.Component", "GetExtents")
        .add(uint32_t{ATSPI_COORD_TYPE_SCREEN})
        .sendLater(bus, kAtspiCallTimeoutMs);
}

std::optional<Frame> extentsFrom(const DbusReply& reply) {
    if (!reply.hasSignature("(iiii)")) return std::nullopt;
    DbusReader box = reply.reader().open();
    Frame frame;
    frame.x = box.int32();
    frame.y = box.int32();
    frame.width = box.int32();
    frame.height = box.int32();
    return frame;
}

bool onScreen(const Frame& frame) {
    return frame.width > 0 && frame.height > 0 && frame.x >= -100000 && frame.y >= -100000;
}

}  // namespace velmor::platform
