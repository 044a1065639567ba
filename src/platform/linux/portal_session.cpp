#include "platform/linux/portal_session.h"

#include "base/json_object_file.h"
#include "base/log.h"
#include "base/paths.h"
#include "platform/linux/dbus_message.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>

namespace velmor::platform {

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr const char* kRequest = "org.freedesktop.portal.Request";
constexpr const char* kSession = "org.freedesktop.portal.Session";
constexpr int kCallTimeoutMs = 3000;
// The steps before the dialog answer without the user.
constexpr auto kStepTimeout = std::chrono::seconds(5);
// A kept screen cast consent starts the session without a dialog, at once.
constexpr auto kRestoreTimeout = std::chrono::seconds(2);
// Device and source types, cursor and persist modes as the portal numbers them.
constexpr uint32_t kKeyboard = 1, kPointer = 2, kMonitor = 1, kCursorHidden = 1, kPersistUntilRevoked = 2;
// Request responses: 0 granted, 1 refused by the user, 2 ended otherwise.
constexpr uint32_t kGranted = 0, kRefused = 1;
// A restore token is a short identifier; anything longer is not one.
constexpr size_t kMaxTokenSize = 512;

std::string tokenFile() { return paths::dataHome() + "/velmor/screen-cast-token"; }

std::string savedToken() {
    std::ifstream file(tokenFile(), std::ios::binary);
    std::string token(kMaxTokenSize + 1, '\0');
    file.read(token.data(), static_cast<std::streamsize>(token.size()));
    token.resize(static_cast<size_t>(file.gcount()));
    if (token.size() > kMaxTokenSize) return "";
    token = token.substr(0, token.find('\n'));
    // The token goes out as a D-Bus string, which must be valid text: a file holding anything
    // else (damaged, or not written by us) is no consent, and libdbus would abort on it.
    const bool printable = std::all_of(token.begin(), token.end(), [](unsigned char c) { return c >= 0x20 && c < 0x7f; });
    return printable ? token : "";
}

void saveToken(const std::string& token) {
    if (token.empty() || token.size() > kMaxTokenSize) return;
    if (auto saved = replaceFilePrivately(tokenFile(), token + "\n"); !saved)
        Log::error("gnome", "the screen cast's restore token was not kept: " + saved.error());
}

void forgetToken() { std::remove(tokenFile().c_str()); }

using Options = std::vector<std::pair<std::string, DbusCall::OptionValue>>;

Options withToken(Options options, const std::string& token) {
    if (!token.empty()) options.emplace_back("restore_token", token);
    return options;
}

// A handle token unique in this process, as the portal asks callers to choose.
std::string newToken() {
    static std::atomic<unsigned> count{0};
    return "velmor" + std::to_string(getpid()) + "_" + std::to_string(++count);
}

// The Request object the portal answers a call made with `token` on.
std::string requestPath(DBusConnection* bus, const std::string& token) {
    std::string sender = dbus_bus_get_unique_name(bus) ? dbus_bus_get_unique_name(bus) + 1 : "";
    for (char& c : sender)
        if (c == '.') c = '_';
    return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

// Waits for the Response of `request`: its code, with the message kept for its results.
struct Response {
    uint32_t code = 2;
    DBusMessage* message = nullptr;  // owned
    ~Response() {
        if (message) dbus_message_unref(message);
    }
};

bool isResponseTo(DBusMessage* message, const std::string& request) {
    const char* path = dbus_message_get_path(message);
    return dbus_message_is_signal(message, kRequest, "Response") && path && request == path;
}

std::optional<uint32_t> awaitResponse(DBusConnection* bus, const std::string& request, Response& response,
                                      std::chrono::milliseconds timeout = kStepTimeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        dbus_connection_read_write(bus, 100);
        while (DBusMessage* message = dbus_connection_pop_message(bus)) {
            if (isResponseTo(message, request)) {
                response.code = DbusReader(message).uint32();
                response.message = message;
                return response.code;
            }
            dbus_message_unref(message);
        }
    }
    return std::nullopt;
}

// Calls a portal method whose answer comes as a Request's Response; the call's arguments
// are added by `arguments`, its options (with the handle token) by `options`.
Result<void> request(DBusConnection* bus, const char* interface, const char* method, const std::string& session,
                     Options options, Response& response) {
    const std::string token = newToken();
    options.emplace_back("handle_token", token);
    DbusCall call(kPortal, kPortalPath, interface, method);
    if (!session.empty()) call.addObjectPath(session);
    DbusReply reply = call.addOptions(options).send(bus, kCallTimeoutMs);
    if (!reply.ok()) return fail(std::string("the desktop portal refused ") + method + " (" + reply.errorName() + ")");
    // Older portals chose the request's path themselves; the reply names it.
    std::string path = reply.reader().string();
    if (path.empty()) path = requestPath(bus, token);
    auto code = awaitResponse(bus, path, response);
    if (!code) return fail(std::string("the desktop portal did not answer ") + method);
    if (*code != kGranted) return fail(std::string("the desktop portal ended ") + method + " (response " + std::to_string(*code) + ")");
    return succeeded();
}

// The value of `key` in a Response's results (a{sv}), positioned at the variant's contents;
// nothing when absent.
std::optional<DbusReader> resultOf(DBusMessage* message, const std::string& key) {
    DbusReader reader(message);
    reader.uint32();
    DbusReader entries = reader.open();
    while (!entries.atEnd()) {
        DbusReader entry = entries.open();
        if (entry.string() == key) return entry.open();
    }
    return std::nullopt;
}

// The first stream of a started session's results ("streams": a(ua{sv})).
std::optional<MutterStream> firstStream(DBusMessage* message) {
    auto streams = resultOf(message, "streams");
    if (!streams) return std::nullopt;
    DbusReader list = streams->open();
    if (list.atEnd()) return std::nullopt;
    DbusReader entry = list.open();
    MutterStream stream;
    stream.node = entry.uint32();
    DbusReader properties = entry.open();
    while (!properties.atEnd()) {
        DbusReader property = properties.open();
        std::string key = property.string();
        DbusReader value = property.open().open();
        int first = value.int32(), second = value.int32();
        if (key == "position") stream.monitor.x = first, stream.monitor.y = second;
        if (key == "size") stream.monitor.width = first, stream.monitor.height = second;
    }
    return stream;
}

}  // namespace

std::optional<std::string> PortalSession::unreachable() {
    auto bus = openPrivateSessionBus();
    if (!bus) return "no session bus: " + bus.error();
    for (const char* interface : {kRemoteDesktop, kScreenCast}) {
        DbusReply version = getProperty(bus->get(), kPortal, kPortalPath, interface, "version", kCallTimeoutMs);
        if (!version.ok()) return std::string("the desktop portal offers no ") + interface;
    }
    return std::nullopt;
}

std::string PortalSession::what() const {
    return purpose_ == Purpose::input ? "control of the keyboard and pointer (remote desktop)"
                                      : "a screen cast of the monitor (screenshots and recordings)";
}

std::string PortalSession::howToAllow() const {
    return purpose_ == Purpose::input
               ? "turn on \"Allow remote interaction\" and choose \"Share\" in the dialog"
               : "choose \"Share\" in the dialog; \"Remember this selection\" keeps the consent for later runs";
}

Result<MutterStream> PortalSession::stream() {
    std::lock_guard lock(mutex_);
    VELMOR_RETURN_IF_FAILED(advanceLocked());
    return stream_;
}

Result<void> PortalSession::notify(const std::vector<InputEvent>& events) {
    std::lock_guard lock(mutex_);
    if (purpose_ != Purpose::input) return fail("a screen cast session takes no input");
    VELMOR_RETURN_IF_FAILED(advanceLocked());
    // The portal handles each call on a thread of its own, so calls in flight together may
    // reach mutter in another order: each event waits for the one before.
    for (const auto& event : events) {
        // The portal's arguments: the session, options, then the event's, typed its own way.
        DbusCall call(kPortal, kPortalPath, kRemoteDesktop, notifyMethodOf(event));
        call.addObjectPath(session_).addOptions({});
        switch (event.kind) {
            case InputEvent::Kind::key: call.add(static_cast<int32_t>(event.code)).add(uint32_t{event.down}); break;
            case InputEvent::Kind::motion: {
                auto [x, y] = pointWithin(stream_.monitor, event.x, event.y);
                call.add(stream_.node).add(x).add(y);
                break;
            }
            case InputEvent::Kind::button: call.add(static_cast<int32_t>(event.code)).add(uint32_t{event.down}); break;
            case InputEvent::Kind::axis: call.add(event.code).add(event.steps); break;
        }
        if (DbusReply answer = call.send(bus_.get(), kCallTimeoutMs); !answer.ok()) {
            // The user may have stopped the session from the desktop: the next call asks again.
            closeLocked();
            return fail("the desktop portal refused the input (" + answer.errorName() +
                        "); the next call asks for consent again");
        }
    }
    return succeeded();
}

Result<void> PortalSession::advanceLocked() {
    if (state_ == State::idle) {
        if (auto asked = askLocked(); !asked) {
            closeLocked();
            return asked;
        }
    }
    // Answers and the session's end arrive as signals; they are read without waiting.
    dbus_connection_read_write(bus_.get(), 0);
    while (DBusMessage* message = dbus_connection_pop_message(bus_.get())) {
        const char* path = dbus_message_get_path(message);
        if (state_ == State::asking && isResponseTo(message, request_)) {
            Response response{DbusReader(message).uint32(), message};
            if (auto answered = answeredLocked(response.code, message); !answered) {
                closeLocked();
                return answered;
            }
            continue;  // the message went with the response
        }
        if (dbus_message_is_signal(message, kSession, "Closed") && path && session_ == path) {
            Log::info("gnome", "the desktop portal closed the session for " + what());
            closeLocked();
            dbus_message_unref(message);
            return fail("the desktop ended the session for " + what() + "; the next call asks for consent again");
        }
        dbus_message_unref(message);
    }
    if (state_ == State::asking)
        return fail("consent pending: the desktop is asking the user to allow Velmor " + what() +
                    "; " + howToAllow() + ", then call again");
    return succeeded();
}

Result<void> PortalSession::askLocked() {
    auto bus = openPrivateSessionBus();
    if (!bus) return fail("no session bus: " + bus.error());
    bus_ = std::move(*bus);
    DBusConnection* c = bus_.get();
    const std::string responses = std::string("type='signal',interface='") + kRequest + "',member='Response'";
    const std::string closed = std::string("type='signal',interface='") + kSession + "',member='Closed'";
    dbus_bus_add_match(c, responses.c_str(), nullptr);
    dbus_bus_add_match(c, closed.c_str(), nullptr);
    const char* interface = purpose_ == Purpose::input ? kRemoteDesktop : kScreenCast;

    Response created;
    VELMOR_RETURN_IF_FAILED(
        request(c, interface, "CreateSession", "", {{"session_handle_token", newToken()}}, created));
    auto handle = resultOf(created.message, "session_handle");
    session_ = handle ? handle->string() : "";
    if (session_.empty()) return fail("the desktop portal made a session without a handle");

    if (purpose_ == Purpose::input) {
        Response devices;
        if (auto selected = request(c, kRemoteDesktop, "SelectDevices", session_, {{"types", kKeyboard | kPointer}}, devices);
            !selected)
            return selected;
    }
    // Pointer positions are given on the input session's own stream, so it has one too.
    Options sources = {
        {"types", kMonitor}, {"multiple", false}, {"cursor_mode", kCursorHidden}};
    if (purpose_ == Purpose::screen) sources.emplace_back("persist_mode", kPersistUntilRevoked);
    std::string kept = purpose_ == Purpose::screen ? savedToken() : "";
    Response selected;
    auto chosen = request(c, kScreenCast, "SelectSources", session_, withToken(sources, kept), selected);
    if (!chosen && !kept.empty()) {
        // A token the portal will not take is no consent: the user is asked again.
        Log::info("gnome", "the desktop portal did not take the kept screen cast token (" + chosen.error() + "); asking again");
        forgetToken();
        kept.clear();
        Response again;
        chosen = request(c, kScreenCast, "SelectSources", session_, sources, again);
    }
    if (!chosen) return chosen;

    // Start shows the dialog (unless a restore token stands for it); its answer is awaited
    // by later calls.
    const std::string token = newToken();
    DbusReply started = DbusCall(kPortal, kPortalPath, interface, "Start")
                            .addObjectPath(session_)
                            .add(std::string())
                            .addOptions({{"handle_token", token}})
                            .send(c, kCallTimeoutMs);
    if (!started.ok()) return fail("the desktop portal refused to start the session (" + started.errorName() + ")");
    request_ = started.reader().string();
    if (request_.empty()) request_ = requestPath(c, token);
    state_ = State::asking;
    Log::info("gnome", "asked the user through the desktop portal for " + what());
    Response answer;
    if (!kept.empty() && awaitResponse(c, request_, answer, kRestoreTimeout)) return answeredLocked(answer.code, answer.message);
    return succeeded();
}

Result<void> PortalSession::answeredLocked(uint32_t response, DBusMessage* results) {
    if (response != kGranted) {
        closeLocked();
        return fail(std::string(response == kRefused ? "the user refused" : "the desktop did not grant") + " Velmor " +
                    what() + "; the next call asks again (" + howToAllow() + ")");
    }
    auto stream = firstStream(results);
    if (!stream) {
        closeLocked();
        return fail("the desktop portal started the session for " + what() + " without a monitor stream");
    }
    if (purpose_ == Purpose::input) {
        auto devices = resultOf(results, "devices");
        if (!devices || (devices->uint32() & (kKeyboard | kPointer)) != (kKeyboard | kPointer)) {
            closeLocked();
            return fail("the user shared the screen but did not allow remote interaction; the next call asks again (" +
                        howToAllow() + ")");
        }
    }
    stream_ = *stream;
    if (purpose_ == Purpose::screen) {
        // A token serves once: the portal hands a new one with each start it may restore, and
        // none when the user did not ask it to remember.
        if (auto token = resultOf(results, "restore_token")) saveToken(token->string());
        else forgetToken();
        stream_.openPipewire = [this, session = session_] { return openPipewire(session); };
    }
    state_ = State::started;
    Log::info("gnome", "the user allowed Velmor " + what() + "; PipeWire node " + std::to_string(stream_.node));
    return succeeded();
}

Result<int> PortalSession::openPipewire(const std::string& session) {
    std::lock_guard lock(mutex_);
    if (!bus_ || session_ != session) return fail("the screen cast session has ended; the next call starts it again");
    DbusReply remote = DbusCall(kPortal, kPortalPath, kScreenCast, "OpenPipeWireRemote")
                           .addObjectPath(session_)
                           .addOptions({})
                           .send(bus_.get(), kCallTimeoutMs);
    const int fd = remote.ok() ? remote.reader().fileDescriptor() : -1;
    if (fd < 0) return fail("the desktop portal gave no PipeWire connection (" + remote.errorName() + ")");
    return fd;
}

void PortalSession::closeLocked() {
    if (bus_ && !session_.empty())
        DbusCall(kPortal, session_, kSession, "Close").sendWithoutReply(bus_.get());
    bus_.reset();
    session_.clear();
    request_.clear();
    stream_ = {};
    state_ = State::idle;
}

}  // namespace velmor::platform
