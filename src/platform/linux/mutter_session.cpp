#include "platform/linux/mutter_session.h"

#include "base/log.h"
#include "platform/linux/dbus_message.h"
#include "platform/linux/pipe_transfer.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace velmor::platform {

namespace {

constexpr const char* kRemoteDesktop = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* kRemoteDesktopPath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char* kRemoteSession = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* kScreenCast = "org.gnome.Mutter.ScreenCast";
constexpr const char* kScreenCastPath = "/org/gnome/Mutter/ScreenCast";
constexpr const char* kCastSession = "org.gnome.Mutter.ScreenCast.Session";
constexpr const char* kCastStream = "org.gnome.Mutter.ScreenCast.Stream";
constexpr int kCallTimeoutMs = 3000;
// mutter announces the stream's PipeWire node once the session has started.
constexpr auto kNodeTimeout = std::chrono::seconds(5);
// ScreenCast's cursor modes: the pointer is not drawn into screenshots.
constexpr uint32_t kCursorHidden = 0;
// The names applications give text on the clipboard, the usual first.
const std::vector<std::string> kTextTypes = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING", "TEXT"};

std::string failure(const char* what, const DbusReply& reply) {
    return std::string(what) + " failed (" + reply.errorName() + ")";
}

// The stream's place and size from its Parameters ("position" and "size", each (ii)).
Frame monitorOf(DBusConnection* bus, const std::string& stream) {
    Frame monitor;
    DbusReply reply = getProperty(bus, kScreenCast, stream, kCastStream, "Parameters", kCallTimeoutMs);
    if (!reply.ok()) return monitor;
    DbusReader variant = reply.reader().open();
    DbusReader entries = variant.open();
    while (!entries.atEnd()) {
        DbusReader entry = entries.open();
        std::string key = entry.string();
        DbusReader value = entry.open().open();
        int first = value.int32(), second = value.int32();
        if (key == "position") monitor.x = first, monitor.y = second;
        if (key == "size") monitor.width = first, monitor.height = second;
    }
    return monitor;
}

// Waits for the stream's PipeWireStreamAdded signal; its node, or nothing.
std::optional<uint32_t> awaitNode(DBusConnection* bus, const std::string& stream) {
    auto deadline = std::chrono::steady_clock::now() + kNodeTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        dbus_connection_read_write(bus, 100);
        while (DBusMessage* message = dbus_connection_pop_message(bus)) {
            std::optional<uint32_t> node;
            if (dbus_message_is_signal(message, kCastStream, "PipeWireStreamAdded") &&
                stream == (dbus_message_get_path(message) ? dbus_message_get_path(message) : ""))
                node = DbusReader(message).uint32();
            dbus_message_unref(message);
            if (node) return node;
        }
    }
    return std::nullopt;
}

// The arguments of `event`'s Notify* call, typed as mutter's own service takes them.
void addArguments(DbusCall& call, const InputEvent& event, const MutterStream& stream) {
    switch (event.kind) {
        case InputEvent::Kind::key: call.add(event.code).add(event.down); break;
        case InputEvent::Kind::motion: {
            auto [x, y] = pointWithin(stream.monitor, event.x, event.y);
            call.add(stream.path).add(x).add(y);
            break;
        }
        case InputEvent::Kind::button: call.add(static_cast<int32_t>(event.code)).add(event.down); break;
        case InputEvent::Kind::axis: call.add(event.code).add(event.steps); break;
    }
}

}  // namespace

std::optional<std::string> MutterSession::unreachable() {
    auto bus = openPrivateSessionBus();
    if (!bus) return "no session bus: " + bus.error();
    DbusReply owned = DbusCall(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "NameHasOwner")
                          .add(std::string(kRemoteDesktop))
                          .send(bus->get(), kCallTimeoutMs);
    if (!owned.ok() || !owned.reader().boolean()) return std::string(kRemoteDesktop) + " is not on the session bus";
    return std::nullopt;
}

Result<MutterStream> MutterSession::stream() {
    std::lock_guard lock(mutex_);
    if (!session_.empty()) return stream_;
    return startLocked();
}

Result<void> MutterSession::startedLocked() {
    if (!session_.empty()) return succeeded();
    VELMOR_RETURN_IF_FAILED(startLocked());
    return succeeded();
}

Result<void> MutterSession::notify(const std::vector<InputEvent>& events) {
    std::lock_guard lock(mutex_);
    // A session mutter has ended refuses every event: then one fresh session is tried. Once
    // an event has gone through, the rest are not sent again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        VELMOR_RETURN_IF_FAILED(startedLocked());
        handleSignalsLocked();
        if (session_.empty()) continue;
        std::vector<PendingReply> pending;
        for (const auto& event : events) {
            DbusCall call(kRemoteDesktop, session_, kRemoteSession, notifyMethodOf(event));
            addArguments(call, event, stream_);
            pending.push_back(call.sendLater(bus_.get(), kCallTimeoutMs));
        }
        std::string refused;
        bool anyAccepted = false;
        for (size_t i = 0; i < pending.size(); ++i) {
            DbusReply reply = pending[i].wait();
            if (reply.ok()) anyAccepted = true;
            else if (refused.empty()) refused = std::string(notifyMethodOf(events[i])) + " (" + reply.errorName() + ")";
        }
        if (refused.empty()) return succeeded();
        if (anyAccepted) return fail("mutter's remote desktop session refused an input event: " + refused);
        Log::info("gnome", "mutter refused " + refused + "; starting a new session");
        closeLocked();
    }
    return fail("mutter's remote desktop session refused the input events");
}

Result<MutterStream> MutterSession::startLocked() {
    closeLocked();
    auto bus = openPrivateSessionBus();
    if (!bus) return fail("no session bus: " + bus.error());
    DBusConnection* c = bus->get();
    DbusReply created = DbusCall(kRemoteDesktop, kRemoteDesktopPath, kRemoteDesktop, "CreateSession").send(c, kCallTimeoutMs);
    if (!created.ok())
        return fail(created.errorName() == DBUS_ERROR_SERVICE_UNKNOWN || created.errorName() == DBUS_ERROR_NAME_HAS_NO_OWNER
                        ? std::string("mutter's RemoteDesktop service is not on the session bus")
                        : failure("creating mutter's remote desktop session", created));
    std::string session = created.reader().string();
    DbusReply id = getProperty(c, kRemoteDesktop, session, kRemoteSession, "SessionId", kCallTimeoutMs);
    std::string sessionId = id.ok() ? id.reader().open().string() : "";
    DbusReply cast = DbusCall(kScreenCast, kScreenCastPath, kScreenCast, "CreateSession")
                         .addOptions({{"remote-desktop-session-id", sessionId}})
                         .send(c, kCallTimeoutMs);
    if (!cast.ok()) return fail(failure("creating mutter's screen cast session", cast));
    std::string castSession = cast.reader().string();
    // An empty connector is the primary monitor.
    DbusReply recorded = DbusCall(kScreenCast, castSession, kCastSession, "RecordMonitor")
                             .add(std::string())
                             .addOptions({{"cursor-mode", kCursorHidden}})
                             .send(c, kCallTimeoutMs);
    if (!recorded.ok()) return fail(failure("recording the monitor", recorded));
    std::string streamPath = recorded.reader().string();
    const std::string match = std::string("type='signal',interface='") + kCastStream + "',path='" + streamPath + "'";
    dbus_bus_add_match(c, match.c_str(), nullptr);
    DbusReply startedReply = DbusCall(kRemoteDesktop, session, kRemoteSession, "Start").send(c, kCallTimeoutMs);
    // The session starts with its screen cast, which needs PipeWire.
    if (!startedReply.ok())
        return fail(failure("starting mutter's remote desktop session", startedReply) +
                    "; its screen cast needs PipeWire running in the desktop session");
    auto node = awaitNode(c, streamPath);
    if (!node) {
        DbusCall(kRemoteDesktop, session, kRemoteSession, "Stop").send(c, kCallTimeoutMs);
        return fail("mutter started the remote desktop session but announced no PipeWire stream (is PipeWire running "
                    "in the desktop session?)");
    }
    const std::string signals = std::string("type='signal',sender='") + kRemoteDesktop + "',interface='" +
                                kRemoteSession + "',path='" + session + "'";
    dbus_bus_add_match(c, signals.c_str(), nullptr);
    DbusReply clipboard = DbusCall(kRemoteDesktop, session, kRemoteSession, "EnableClipboard").addOptions({}).send(c, kCallTimeoutMs);
    clipboardEnabled_ = clipboard.ok();
    if (!clipboardEnabled_) Log::info("gnome", "mutter keeps the clipboard from the session (" + clipboard.errorName() + ")");
    bus_ = std::move(*bus);
    session_ = session;
    stream_ = {streamPath, *node, monitorOf(c, streamPath)};
    Log::info("gnome", "mutter remote desktop session " + session_ + ", monitor stream on PipeWire node " +
                           std::to_string(*node));
    return stream_;
}

void MutterSession::closeLocked() {
    if (bus_ && !session_.empty())
        DbusCall(kRemoteDesktop, session_, kRemoteSession, "Stop").send(bus_.get(), kCallTimeoutMs);
    session_.clear();
    bus_.reset();
    clipboardEnabled_ = false;
    ownsClipboard_ = false;
}

void MutterSession::handleSignalsLocked() {
    if (!bus_) return;
    DBusConnection* c = bus_.get();
    dbus_connection_read_write(c, 0);
    bool closed = false;
    while (DBusMessage* message = dbus_connection_pop_message(c)) {
        const char* path = dbus_message_get_path(message);
        const bool ours = path && session_ == path;
        if (ours && dbus_message_is_signal(message, kRemoteSession, "SelectionTransfer")) {
            DbusReader reader(message);
            reader.string();
            transferLocked(reader.uint32());
        } else if (ours && dbus_message_is_signal(message, kRemoteSession, "SelectionOwnerChanged")) {
            DbusReader options = DbusReader(message).open();
            bool owner = false;
            while (!options.atEnd()) {
                DbusReader entry = options.open();
                if (entry.string() == "session-is-owner") owner = entry.open().boolean();
            }
            ownsClipboard_ = owner;
        } else if (ours && dbus_message_is_signal(message, kRemoteSession, "Closed")) {
            closed = true;
        }
        dbus_message_unref(message);
    }
    if (closed) {
        Log::info("gnome", "mutter closed the remote desktop session " + session_);
        session_.clear();
        bus_.reset();
        clipboardEnabled_ = false;
        ownsClipboard_ = false;
    }
}

void MutterSession::transferLocked(uint32_t serial) {
    DBusConnection* c = bus_.get();
    DbusReply pipe = DbusCall(kRemoteDesktop, session_, kRemoteSession, "SelectionWrite").add(serial).send(c, kCallTimeoutMs);
    const int fd = pipe.ok() ? pipe.reader().fileDescriptor() : -1;
    const bool written = fd >= 0 && writeAll(fd, offered_);
    if (fd >= 0) close(fd);
    DbusCall(kRemoteDesktop, session_, kRemoteSession, "SelectionWriteDone").add(serial).add(written).send(c, kCallTimeoutMs);
}

void MutterSession::serve(std::stop_token stop) {
    while (!stop.stop_requested()) {
        int fd = -1;
        {
            std::lock_guard lock(mutex_);
            if (bus_) dbus_connection_get_unix_fd(bus_.get(), &fd);
        }
        pollfd ready{fd, POLLIN, 0};
        // A session made afresh has a new connection: the wait is short enough to notice.
        if (fd < 0 || poll(&ready, 1, 200) <= 0) {
            if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            continue;
        }
        std::lock_guard lock(mutex_);
        handleSignalsLocked();
    }
}

Result<std::string> MutterSession::clipboardText() {
    std::lock_guard lock(mutex_);
    VELMOR_RETURN_IF_FAILED(startedLocked());
    handleSignalsLocked();
    if (!clipboardEnabled_) return fail("mutter keeps the clipboard from this session");
    if (ownsClipboard_) return offered_;
    for (const auto& type : kTextTypes) {
        DbusReply pipe = DbusCall(kRemoteDesktop, session_, kRemoteSession, "SelectionRead").add(type).send(bus_.get(), kCallTimeoutMs);
        const int fd = pipe.ok() ? pipe.reader().fileDescriptor() : -1;
        if (fd < 0) continue;
        auto text = readAll(fd);
        close(fd);
        return text;
    }
    return std::string();
}

Result<void> MutterSession::setClipboardText(const std::string& text) {
    std::lock_guard lock(mutex_);
    VELMOR_RETURN_IF_FAILED(startedLocked());
    handleSignalsLocked();
    if (!clipboardEnabled_) return fail("mutter keeps the clipboard from this session");
    DbusReply offered = DbusCall(kRemoteDesktop, session_, kRemoteSession, "SetSelection")
                            .addOptions({{"mime-types", kTextTypes}})
                            .send(bus_.get(), kCallTimeoutMs);
    if (!offered.ok()) return fail("mutter refused the clipboard contents (" + offered.errorName() + ")");
    offered_ = text;
    ownsClipboard_ = true;
    if (!server_.joinable()) server_ = std::jthread([this](std::stop_token stop) { serve(stop); });
    return succeeded();
}

}  // namespace velmor::platform
