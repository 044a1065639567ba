#include "platform/linux/toplevel_windows.h"

#include "base/log.h"
#include "platform/linux/atspi_extents.h"
#include "platform/linux/dbus_message.h"
#include "platform/linux/process_identity.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace velmor::platform {

namespace {

constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessibleInterface = "org.a11y.atspi.Accessible";
// An application that claims more top-level windows than this is not believed further.
constexpr size_t kMaxWindowsPerApplication = 64;

struct AccessibleWindow {
    int32_t pid = 0;
    std::string name;
    Frame frame;
};

// The top-level windows every application on the accessibility bus shows, with their
// names and extents: three round trips for them all.
std::vector<AccessibleWindow> accessibleWindows(AtspiConnection& atspi) {
    std::vector<AccessibleWindow> windows;
    DBusConnection* bus = atspi.connection();
    if (!bus) return windows;
    std::vector<AtspiApplicationEntry> applications = atspi.applications(false);
    std::vector<PendingReply> childLists;
    for (const auto& application : applications)
        childLists.push_back(DbusCall(application.busName, kRootPath, kAccessibleInterface, "GetChildren")
                                 .sendLater(bus, kAtspiCallTimeoutMs));
    struct Asked {
        int32_t pid;
        PendingReply name, extents;
    };
    std::vector<Asked> asked;
    for (size_t i = 0; i < applications.size(); ++i) {
        DbusReply children = childLists[i].wait();
        if (!children.hasSignature("a(so)")) continue;
        size_t count = 0;
        for (DbusReader list = children.reader().open(); !list.atEnd() && count < kMaxWindowsPerApplication; ++count) {
            DbusReader reference = list.open();
            const std::string busName = reference.string(), path = reference.string();
            asked.push_back({applications[i].pid,
                             DbusCall(busName, path, DBUS_INTERFACE_PROPERTIES, "Get")
                                 .add(std::string(kAccessibleInterface))
                                 .add(std::string("Name"))
                                 .sendLater(bus, kAtspiCallTimeoutMs),
                             askScreenExtents(bus, busName, path)});
        }
    }
    for (auto& window : asked) {
        DbusReply name = window.name.wait();
        auto extents = extentsFrom(window.extents.wait());
        if (!name.hasSignature("v")) continue;
        std::string text = name.reader().open().string();
        if (!text.empty()) windows.push_back({window.pid, std::move(text), extents.value_or(Frame{})});
    }
    return windows;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Whether the app id names the process's executable: "org.gnome.Calculator" and
// "gnome-calculator" do not, "mousepad" and "org.xfce.mousepad" do.
bool appIdNames(const std::string& appId, int32_t pid) {
    auto executable = executableName(pid);
    if (!executable || appId.empty()) return false;
    const std::string id = lower(appId), name = lower(*executable);
    return id == name || (id.size() > name.size() && id.ends_with("." + name));
}

}  // namespace

std::vector<CompositorWindow> ToplevelWindows::all() {
    auto toplevels = toplevels_.list();
    if (!toplevels) {
        Log::error("wayland", "Reading the compositor's windows failed: " + toplevels.error());
        return {};
    }
    std::vector<AccessibleWindow> accessible = bus_.withLocked(accessibleWindows);
    std::vector<CompositorWindow> windows;
    for (const auto& toplevel : *toplevels) {
        std::map<int32_t, const AccessibleWindow*> owners;
        for (const auto& window : accessible)
            if (window.name == toplevel.title) owners.emplace(window.pid, &window);
        if (owners.size() > 1)
            std::erase_if(owners, [&](const auto& owner) { return !appIdNames(toplevel.appId, owner.first); });
        if (owners.size() != 1) continue;
        const auto& [pid, window] = *owners.begin();
        windows.push_back({.id = toplevel.id,
                           .pid = pid,
                           .title = toplevel.title,
                           .appId = toplevel.appId,
                           .frame = window->frame,
                           .focused = toplevel.activated,
                           .visible = !toplevel.minimized});
    }
    return windows;
}

Result<void> ToplevelWindows::focus(int32_t pid) {
    auto front = frontOf(all(), pid);
    if (!front) return fail("process " + std::to_string(pid) + " has no window the compositor shows");
    return toplevels_.activate(front->id);
}

std::optional<Frame> ToplevelWindows::screen() {
    std::optional<WaylandOutput> layout;
    if (wayland_.run([&](WaylandConnection& c) { layout = c.layout(); }) || !layout) return std::nullopt;
    return Frame{layout->x, layout->y, layout->width, layout->height};
}

Result<void> ToplevelWindows::changeFrame(uint64_t, const FrameChange&) {
    return fail("this Wayland compositor lets clients neither move nor resize other windows; that needs sway's IPC "
                "(SWAYSOCK)");
}

}  // namespace velmor::platform
