#include "platform/linux/atspi_accessibility.h"

#include "platform/linux/atspi_element.h"
#include "platform/linux/atspi_snapshot.h"
#include "platform/linux/dbus_message.h"

#include <algorithm>
#include <optional>

namespace velmor::platform {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long an interface must send no events to count as settled: toolkits send the events
// of one change in a burst, well within this even on a loaded machine.
constexpr auto kQuiet = 50ms;
// An action that has shown no effect yet may still be on its way to one: a toolkit may
// first ask a worker thread (a file chooser checks the file it is to save to) and show the
// result only then. Until then the interface is waited on this long before it is answered
// as unchanged.
constexpr auto kEffectWait = 500ms;
// GTK 4 runs a handler only after it has answered the action that set it off, and its file
// chooser shows nothing for over half a second after the press of Save before it closes,
// idle or busy: its applications are waited on longer.
constexpr auto kGtk4EffectWait = 1000ms;
// Past this, an interface that keeps changing (a spinner, a clock) is read as it is.
constexpr auto kSettleDeadline = 2000ms;
// A window that was created but neither shown nor activated yet (the window manager maps it
// in its own time) is waited for this long before it is taken for one that stays hidden.
constexpr auto kWindowWait = 1000ms;
// How long one wait for events holds the bus lock.
constexpr auto kSlice = 10ms;

}  // namespace

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
        // Applications learn of the subscription in their own time: asked now, they send
        // their events by the first action.
        static_cast<void>(atspi.followEvents(pid));
    });
}

void AtspiAccessibility::followChanges(int32_t pid) {
    bus_.withLocked([&](AtspiConnection& atspi) { static_cast<void>(atspi.followEvents(pid)); });
}

void AtspiAccessibility::awaitSettled(int32_t pid, const std::function<void()>& read) {
    const auto deadline = Clock::now() + kSettleDeadline;
    // Two calls answered in turn by the application's main loop: by the second answer it has
    // been through a whole turn of its loop since the action's input arrived, and the events
    // it sent while handling it are here (one connection keeps its messages in order).
    auto effectWait = kEffectWait;
    const bool following = bus_.withLocked([&](AtspiConnection& atspi) {
        DBusConnection* bus = atspi.connection();
        if (!bus || atspi.followed().empty()) return false;
        if (auto busName = atspi.busNameOf(pid); !busName || *busName != atspi.followed()) return false;
        if (atspi.toolkitOf(atspi.followed()) == AtspiToolkit::gtk4) effectWait = kGtk4EffectWait;
        for (int turn = 0; turn < 2; ++turn) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            static_cast<void>(getProperty(bus, atspi.followed(), "/org/a11y/atspi/accessible/root",
                                          "org.a11y.atspi.Accessible", "ChildCount",
                                          static_cast<int>(std::min<long>(left, kAtspiCallTimeoutMs))));
        }
        return true;
    });
    auto readNow = [&] {
        if (read) read();
    };
    if (!following) return readNow();
    const auto answered = Clock::now();
    // The events counted when the last read began; none while no read stands. An effect
    // that has shown is read at once, while the quiet runs: an interface that stays quiet
    // needs no second read, which saves the read's time on every action that changes
    // something. Only one read is made ahead, in case reading itself stirs the application.
    std::optional<int> readAt;
    bool readAhead = false;
    while (Clock::now() < deadline) {
        AtspiActivity activity = bus_.withLocked([&](AtspiConnection& atspi) { return atspi.awaitEvents(kSlice); });
        auto now = Clock::now();
        if (readAt && *readAt != activity.events) readAt.reset();
        bool windowDue = activity.windowComing && now - activity.windowCreated < kWindowWait;
        bool still = activity.effects > 0 ? now - std::max(activity.last, answered) >= kQuiet
                                          : now - answered >= effectWait;
        if (windowDue) continue;
        if (still && readAt) return;
        if (still || (activity.effects > 0 && !readAhead)) {
            readAhead = readAhead || !still;
            readAt = activity.events;
            readNow();
            if (still) return;
        }
    }
    if (!readAt) readNow();
}

}  // namespace velmor::platform
