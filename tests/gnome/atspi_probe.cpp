#include "atspi_probe.h"

#include <dbus/dbus.h>

#include <deque>
#include <utility>

namespace velmor::test {

namespace {

constexpr int kTimeoutMs = 2000;
constexpr size_t kMaxObjects = 5000;
constexpr const char* kRoot = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr uint32_t kRoleFrame = 23, kActiveState = 1, kCheckedState = 4, kSelectedState = 23;

DBusMessage* ask(DBusConnection* bus, const std::string& name, const std::string& path, const char* interface,
                 const char* method, const std::vector<std::pair<int, const void*>>& args = {}) {
    DBusMessage* call = dbus_message_new_method_call(name.c_str(), path.c_str(), interface, method);
    for (auto [type, value] : args) dbus_message_append_args(call, type, value, DBUS_TYPE_INVALID);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, kTimeoutMs, nullptr);
    dbus_message_unref(call);
    return reply;
}

// The (bus name, path) pairs of an a(so) reply.
std::vector<std::pair<std::string, std::string>> references(DBusMessage* reply) {
    std::vector<std::pair<std::string, std::string>> found;
    DBusMessageIter iter, array, entry;
    if (!reply || !dbus_message_iter_init(reply, &iter) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_ARRAY)
        return found;
    dbus_message_iter_recurse(&iter, &array);
    while (dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRUCT) {
        dbus_message_iter_recurse(&array, &entry);
        const char *name = nullptr, *path = nullptr;
        dbus_message_iter_get_basic(&entry, &name);
        dbus_message_iter_next(&entry);
        dbus_message_iter_get_basic(&entry, &path);
        found.emplace_back(name, path);
        dbus_message_iter_next(&array);
    }
    return found;
}

std::string stringIn(DBusMessage* reply) {
    DBusMessageIter iter, variant;
    if (!reply || !dbus_message_iter_init(reply, &iter)) return "";
    if (dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&iter, &variant);
        iter = variant;
    }
    if (dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRING) return "";
    const char* text = nullptr;
    dbus_message_iter_get_basic(&iter, &text);
    return text ? text : "";
}

// The first 32 states of a GetState reply, which it releases; none for a failed one.
dbus_uint32_t firstStateWord(DBusMessage* reply) {
    DBusMessageIter iter, words;
    dbus_uint32_t first = 0;
    if (reply && dbus_message_iter_init(reply, &iter) && dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_ARRAY) {
        dbus_message_iter_recurse(&iter, &words);
        if (dbus_message_iter_get_arg_type(&words) == DBUS_TYPE_UINT32) dbus_message_iter_get_basic(&words, &first);
    }
    if (reply) dbus_message_unref(reply);
    return first;
}

}  // namespace

AtspiProbe::AtspiProbe() {
    DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, nullptr);
    if (!session) return;
    DBusMessage* reply = ask(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
    std::string address = stringIn(reply);
    if (reply) dbus_message_unref(reply);
    dbus_connection_close(session);
    dbus_connection_unref(session);
    if (address.empty()) return;
    bus_ = dbus_connection_open_private(address.c_str(), nullptr);
    if (bus_ && !dbus_bus_register(bus_, nullptr)) {
        dbus_connection_close(bus_);
        dbus_connection_unref(bus_);
        bus_ = nullptr;
    }
    if (bus_) dbus_connection_set_exit_on_disconnect(bus_, false);
}

AtspiProbe::~AtspiProbe() {
    if (!bus_) return;
    dbus_connection_close(bus_);
    dbus_connection_unref(bus_);
}

std::string AtspiProbe::busNameOf(int32_t pid) {
    if (!bus_) return "";
    DBusMessage* apps = ask(bus_, "org.a11y.atspi.Registry", kRoot, kAccessible, "GetChildren");
    std::string found;
    for (const auto& [name, path] : references(apps)) {
        const char* text = name.c_str();
        DBusMessage* owner = ask(bus_, DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                                 "GetConnectionUnixProcessID", {{DBUS_TYPE_STRING, &text}});
        dbus_uint32_t process = 0;
        if (owner) dbus_message_get_args(owner, nullptr, DBUS_TYPE_UINT32, &process, DBUS_TYPE_INVALID);
        if (owner) dbus_message_unref(owner);
        if (static_cast<int32_t>(process) == pid) found = name;
    }
    if (apps) dbus_message_unref(apps);
    return found;
}

void AtspiProbe::walk(const std::string& busName, const std::function<void(const std::string&)>& visit) {
    std::deque<std::string> paths{kRoot};
    for (size_t seen = 0; !paths.empty() && seen < kMaxObjects; ++seen) {
        const std::string path = paths.front();
        paths.pop_front();
        visit(path);
        DBusMessage* children = ask(bus_, busName, path, kAccessible, "GetChildren");
        for (const auto& child : references(children)) paths.push_back(child.second);
        if (children) dbus_message_unref(children);
    }
}

std::string AtspiProbe::nameOf(const std::string& busName, const std::string& path) {
    const char *interface = kAccessible, *property = "Name";
    DBusMessage* reply = ask(bus_, busName, path, DBUS_INTERFACE_PROPERTIES, "Get",
                             {{DBUS_TYPE_STRING, &interface}, {DBUS_TYPE_STRING, &property}});
    std::string name = stringIn(reply);
    if (reply) dbus_message_unref(reply);
    return name;
}

std::vector<std::string> AtspiProbe::textsOf(int32_t pid) {
    std::vector<std::string> texts;
    const std::string name = busNameOf(pid);
    if (name.empty()) return texts;
    walk(name, [&](const std::string& path) {
        texts.push_back(nameOf(name, path));
        const dbus_int32_t start = 0, end = -1;
        if (DBusMessage* reply = ask(bus_, name, path, "org.a11y.atspi.Text", "GetText",
                                     {{DBUS_TYPE_INT32, &start}, {DBUS_TYPE_INT32, &end}})) {
            texts.push_back(stringIn(reply));
            dbus_message_unref(reply);
        }
    });
    return texts;
}

std::vector<std::string> AtspiProbe::selectedOf(int32_t pid) {
    std::vector<std::string> selected;
    const std::string name = busNameOf(pid);
    if (name.empty()) return selected;
    walk(name, [&](const std::string& path) {
        if (firstStateWord(ask(bus_, name, path, kAccessible, "GetState")) >> kSelectedState & 1u)
            selected.push_back(nameOf(name, path));
    });
    return selected;
}

bool AtspiProbe::onEachNamed(int32_t pid, const std::string& wanted, const char* interface, const char* method,
                             bool uncheckedOnly) {
    const std::string name = busNameOf(pid);
    if (name.empty()) return false;
    std::vector<std::string> matching;
    walk(name, [&](const std::string& path) {
        if (nameOf(name, path) != wanted) return;
        if (uncheckedOnly && (firstStateWord(ask(bus_, name, path, kAccessible, "GetState")) >> kCheckedState & 1u)) return;
        matching.push_back(path);
    });
    bool taken = false;
    for (const auto& path : matching) {
        const dbus_int32_t first = 0;
        DBusMessage* reply = ask(bus_, name, path, interface, method, {{DBUS_TYPE_INT32, &first}});
        taken = taken || (reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN);
        if (reply) dbus_message_unref(reply);
    }
    return taken;
}

bool AtspiProbe::press(int32_t pid, const std::string& name) {
    return onEachNamed(pid, name, "org.a11y.atspi.Action", "DoAction");
}

bool AtspiProbe::check(int32_t pid, const std::string& name) {
    return onEachNamed(pid, name, "org.a11y.atspi.Action", "DoAction", true);
}

bool AtspiProbe::selectFirstIn(int32_t pid, const std::string& name) {
    return onEachNamed(pid, name, "org.a11y.atspi.Selection", "SelectChild");
}

bool AtspiProbe::windowActive(int32_t pid) {
    const std::string name = busNameOf(pid);
    if (name.empty()) return false;
    DBusMessage* windows = ask(bus_, name, kRoot, kAccessible, "GetChildren");
    bool active = false;
    for (const auto& window : references(windows)) {
        DBusMessage* role = ask(bus_, name, window.second, kAccessible, "GetRole");
        dbus_uint32_t kind = 0;
        if (role) dbus_message_get_args(role, nullptr, DBUS_TYPE_UINT32, &kind, DBUS_TYPE_INVALID);
        if (role) dbus_message_unref(role);
        dbus_uint32_t states = firstStateWord(ask(bus_, name, window.second, kAccessible, "GetState"));
        active = active || (kind == kRoleFrame && (states >> kActiveState & 1u));
    }
    if (windows) dbus_message_unref(windows);
    return active;
}

}  // namespace velmor::test
