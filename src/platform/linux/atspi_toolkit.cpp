#include "platform/linux/atspi_toolkit.h"

#include "base/text.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/dbus_message.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace velmor::platform {

namespace {

constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kApplicationDbus = "org.a11y.atspi.Application";

}  // namespace

AtspiToolkit readToolkit(DBusConnection* bus, const std::string& busName) {
    if (!bus) return AtspiToolkit::other;
    // Two properties asked for one by one: a bulk read of all of them crashes Qt 5.
    PendingReply name = DbusCall(busName, kRootPath, DBUS_INTERFACE_PROPERTIES, "Get")
                            .add(std::string(kApplicationDbus))
                            .add(std::string("ToolkitName"))
                            .sendLater(bus, kAtspiCallTimeoutMs);
    PendingReply version = DbusCall(busName, kRootPath, DBUS_INTERFACE_PROPERTIES, "Get")
                               .add(std::string(kApplicationDbus))
                               .add(std::string("Version"))
                               .sendLater(bus, kAtspiCallTimeoutMs);
    DbusReply nameReply = name.wait();
    DbusReply versionReply = version.wait();
    if (!nameReply.hasSignature("v")) return AtspiToolkit::other;
    std::string toolkit = lowerAscii(nameReply.reader().open().string());
    if (toolkit == "qt") return AtspiToolkit::qt;
    std::string number = versionReply.hasSignature("v") ? versionReply.reader().open().string() : "";
    if (toolkit == "gtk") return number.starts_with("4.") ? AtspiToolkit::gtk4 : AtspiToolkit::gtk3;
    return AtspiToolkit::other;
}

int32_t wholeTextEnd(AtspiToolkit toolkit) {
    return toolkit == AtspiToolkit::gtk4 ? std::numeric_limits<int32_t>::max() : -1;
}

bool isWidgetTypeName(std::string_view name) {
    for (std::string_view prefix : {"Gtk", "Adw", "Gdk"}) {
        if (name.size() <= prefix.size() || !name.starts_with(prefix)) continue;
        if (!std::isupper(static_cast<unsigned char>(name[prefix.size()]))) continue;
        return std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c); });
    }
    return false;
}

}  // namespace velmor::platform
