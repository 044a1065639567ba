#include "platform/linux/atspi_top_levels.h"

#include "platform/linux/atspi_extents.h"
#include "platform/linux/dbus_message.h"

#include <atspi/atspi-constants.h>

namespace velmor::platform {

namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kRoot = "/org/a11y/atspi/accessible/root";
// A hostile application may list any number of children: windows beyond these are not read.
constexpr size_t kMaxTopLevels = 64;

bool hasState(const DbusReply& reply, AtspiStateType state) {
    if (!reply.hasSignature("au")) return false;
    DbusReader words = reply.reader().open();
    for (uint32_t index = 0; !words.atEnd(); ++index) {
        const uint32_t word = words.uint32();
        if (index == static_cast<uint32_t>(state) / 32) return (word >> (state % 32)) & 1u;
    }
    return false;
}

}  // namespace

std::vector<AtspiTopLevel> topLevelsOf(AtspiConnection& atspi, const std::string& busName, int32_t pid) {
    std::vector<AtspiTopLevel> windows;
    DBusConnection* bus = atspi.connection();
    if (!bus) return windows;
    DbusReply children = DbusCall(busName, kRoot, kAccessible, "GetChildren").send(bus, kAtspiCallTimeoutMs);
    if (!children.hasSignature("a(so)")) return windows;
    std::vector<std::string> paths;
    for (DbusReader list = children.reader().open(); !list.atEnd() && paths.size() < kMaxTopLevels;) {
        DbusReader reference = list.open();
        reference.string();
        paths.push_back(reference.string());
    }
    struct Asked {
        PendingReply role, state, name, extents;
    };
    std::vector<Asked> asked;
    for (const auto& path : paths)
        asked.push_back({DbusCall(busName, path, kAccessible, "GetRole").sendLater(bus, kAtspiCallTimeoutMs),
                         DbusCall(busName, path, kAccessible, "GetState").sendLater(bus, kAtspiCallTimeoutMs),
                         DbusCall(busName, path, DBUS_INTERFACE_PROPERTIES, "Get")
                             .add(std::string(kAccessible))
                             .add(std::string("Name"))
                             .sendLater(bus, kAtspiCallTimeoutMs),
                         askScreenExtents(bus, busName, path)});
    for (size_t i = 0; i < paths.size(); ++i) {
        DbusReply role = asked[i].role.wait(), state = asked[i].state.wait(), name = asked[i].name.wait(),
                  extents = asked[i].extents.wait();
        const uint32_t kind = role.hasSignature("u") ? role.reader().uint32() : 0;
        if (kind != ATSPI_ROLE_FRAME && kind != ATSPI_ROLE_WINDOW && kind != ATSPI_ROLE_DIALOG) continue;
        AtspiTopLevel window{busName, paths[i], pid};
        if (name.hasSignature("v")) {
            std::string text = name.reader().open().string();
            if (!text.empty()) window.name = std::move(text);
        }
        window.extents = extentsFrom(extents).value_or(Frame{});
        window.visible = hasState(state, ATSPI_STATE_VISIBLE);
        window.active = hasState(state, ATSPI_STATE_ACTIVE);
        windows.push_back(std::move(window));
    }
    return windows;
}

}  // namespace velmor::platform
