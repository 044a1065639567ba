#include "notification_stand_in.h"

#include <gio/gio.h>

namespace velmor::test {

namespace {

constexpr const char* kInterface = R"(<node><interface name="org.freedesktop.Notifications">
  <method name="Notify">
    <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
    <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
  </method>
</interface></node>)";

}  // namespace

struct NotificationCalls {
    static void call(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
        auto* self = static_cast<NotificationStandIn*>(data);
        if (g_strcmp0(method, "Notify") != 0) {
            g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod", method);
            return;
        }
        const gchar *summary = nullptr, *body = nullptr;
        g_variant_get_child(parameters, 3, "&s", &summary);
        g_variant_get_child(parameters, 4, "&s", &body);
        {
            std::lock_guard lock(self->mutex_);
            self->received_.push_back(std::string(summary) + "|" + body);
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", 1u));
    }
    static void acquired(GDBusConnection*, const gchar*, gpointer data) {
        auto* self = static_cast<NotificationStandIn*>(data);
        std::lock_guard lock(self->mutex_);
        self->owned_ = true;
    }
};

NotificationStandIn::NotificationStandIn() {
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kInterface, nullptr);
        static const GDBusInterfaceVTable vtable = {NotificationCalls::call, nullptr, nullptr, {}};
        guint owner = 0;
        if (bus && node) {
            g_dbus_connection_register_object(bus, "/org/freedesktop/Notifications", node->interfaces[0], &vtable, this,
                                              nullptr, nullptr);
            owner = g_bus_own_name_on_connection(bus, "org.freedesktop.Notifications", G_BUS_NAME_OWNER_FLAGS_NONE,
                                                 NotificationCalls::acquired, nullptr, this, nullptr);
        }
        g_main_loop_run(loop_);
        if (owner) g_bus_unown_name(owner);
        if (node) g_dbus_node_info_unref(node);
        if (bus) g_object_unref(bus);
        g_main_context_pop_thread_default(context_);
    });
}

NotificationStandIn::~NotificationStandIn() {
    // Queued on the loop's own context, so it ends the loop even if that has not started yet.
    GSource* stop = g_idle_source_new();
    g_source_set_callback(stop, [](gpointer loop) {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
    }, loop_, nullptr);
    g_source_attach(stop, context_);
    g_source_unref(stop);
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

bool NotificationStandIn::owned() const {
    std::lock_guard lock(mutex_);
    return owned_;
}

std::vector<std::string> NotificationStandIn::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

}  // namespace velmor::test
