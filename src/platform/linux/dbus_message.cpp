#include "platform/linux/dbus_message.h"

#include <cstring>
#include <utility>

namespace velmor::platform {

DbusReader::DbusReader(DBusMessage* message) {
    valid_ = message != nullptr && dbus_message_iter_init(message, &iter_);
}

std::string DbusReader::string() {
    std::string value;
    int t = type();
    if (t == DBUS_TYPE_STRING || t == DBUS_TYPE_OBJECT_PATH || t == DBUS_TYPE_SIGNATURE) {
        const char* text = nullptr;
        dbus_message_iter_get_basic(&iter_, &text);
        if (text) value = text;
    }
    skip();
    return value;
}

int32_t DbusReader::int32() {
    dbus_int32_t value = 0;
    if (type() == DBUS_TYPE_INT32) dbus_message_iter_get_basic(&iter_, &value);
    skip();
    return value;
}

uint32_t DbusReader::uint32() {
    dbus_uint32_t value = 0;
    if (type() == DBUS_TYPE_UINT32) dbus_message_iter_get_basic(&iter_, &value);
    skip();
    return value;
}

bool DbusReader::boolean() {
    dbus_bool_t value = FALSE;
    if (type() == DBUS_TYPE_BOOLEAN) dbus_message_iter_get_basic(&iter_, &value);
    skip();
    return value;
}

int DbusReader::fileDescriptor() {
    int fd = -1;
    if (type() == DBUS_TYPE_UNIX_FD) dbus_message_iter_get_basic(&iter_, &fd);
    skip();
    return fd;
}

double DbusReader::number() {
    DBusBasicValue value{};
    double result = 0;
    int t = type();
    if (dbus_type_is_basic(t) && t != DBUS_TYPE_STRING && t != DBUS_TYPE_OBJECT_PATH && t != DBUS_TYPE_SIGNATURE &&
        t != DBUS_TYPE_UNIX_FD) {
        dbus_message_iter_get_basic(&iter_, &value);
        switch (t) {
            case DBUS_TYPE_DOUBLE: result = value.dbl; break;
            case DBUS_TYPE_BYTE: result = value.byt; break;
            case DBUS_TYPE_INT16: result = value.i16; break;
            case DBUS_TYPE_UINT16: result = value.u16; break;
            case DBUS_TYPE_INT32: result = value.i32; break;
            case DBUS_TYPE_UINT32: result = value.u32; break;
            case DBUS_TYPE_INT64: result = static_cast<double>(value.i64); break;
            case DBUS_TYPE_UINT64: result = static_cast<double>(value.u64); break;
            default: break;
        }
    }
    skip();
    return result;
}

DbusReader DbusReader::open() {
    DbusReader inner;
    if (dbus_type_is_container(type())) {
        dbus_message_iter_recurse(&iter_, &inner.iter_);
        inner.valid_ = true;
    }
    skip();
    return inner;
}

void DbusReader::skip() {
    if (valid_ && !dbus_message_iter_next(&iter_)) valid_ = false;
}

DbusReply::DbusReply(DBusMessage* owned, std::string errorName) : message_(owned), errorName_(std::move(errorName)) {}

DbusReply::DbusReply(DbusReply&& other) noexcept
    : message_(std::exchange(other.message_, nullptr)), errorName_(std::move(other.errorName_)) {}

DbusReply& DbusReply::operator=(DbusReply&& other) noexcept {
    if (this != &other) {
        if (message_) dbus_message_unref(message_);
        message_ = std::exchange(other.message_, nullptr);
        errorName_ = std::move(other.errorName_);
    }
    return *this;
}

DbusReply::~DbusReply() {
    if (message_) dbus_message_unref(message_);
}

bool DbusReply::hasSignature(const char* signature) const {
    return message_ && std::strcmp(dbus_message_get_signature(message_), signature) == 0;
}

namespace {

DbusReply replyFrom(DBusMessage* message) {
    if (!message) return DbusReply(nullptr, DBUS_ERROR_NO_REPLY);
    if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_ERROR) {
        const char* name = dbus_message_get_error_name(message);
        std::string errorName = name ? name : DBUS_ERROR_FAILED;
        dbus_message_unref(message);
        return DbusReply(nullptr, errorName);
    }
    return DbusReply(message, "");
}

}  // namespace

PendingReply::~PendingReply() {
    if (pending_) {
        dbus_pending_call_cancel(pending_);
        dbus_pending_call_unref(pending_);
    }
}

DbusReply PendingReply::wait() {
    if (!pending_) return DbusReply(nullptr, DBUS_ERROR_DISCONNECTED);
    dbus_pending_call_block(pending_);
    DBusMessage* message = dbus_pending_call_steal_reply(pending_);
    dbus_pending_call_unref(pending_);
    pending_ = nullptr;
    return replyFrom(message);
}

DbusCall::DbusCall(const std::string& destination, const std::string& path, const char* interface,
                   const char* method)
    : message_(dbus_message_new_method_call(destination.c_str(), path.c_str(), interface, method)) {
    dbus_message_iter_init_append(message_, &append_);
}

DbusCall::~DbusCall() { dbus_message_unref(message_); }

DbusCall& DbusCall::add(const std::string& value) {
    const char* text = value.c_str();
    dbus_message_iter_append_basic(&append_, DBUS_TYPE_STRING, &text);
    return *this;
}

DbusCall& DbusCall::addObjectPath(const std::string& path) {
    const char* text = path.c_str();
    dbus_message_iter_append_basic(&append_, DBUS_TYPE_OBJECT_PATH, &text);
    return *this;
}

DbusCall& DbusCall::add(int32_t value) {
    dbus_int32_t number = value;
    dbus_message_iter_append_basic(&append_, DBUS_TYPE_INT32, &number);
    return *this;
}

DbusCall& DbusCall::add(uint32_t value) {
    dbus_uint32_t number = value;
    dbus_message_iter_append_basic(&append_, DBUS_TYPE_UINT32, &number);
    return *this;
}

DbusCall& DbusCall::add(bool value) {
    dbus_bool_t flag = value;
    dbus_message_iter_append_basic(&append_, DBUS_TYPE_BOOLEAN, &flag);
    return *this;
}

DbusCall& DbusCall::add(double value) {
    dbus_message_iter_append_basic(&append_, DBUS_TYPE_DOUBLE, &value);
    return *this;
}

DbusCall& DbusCall::addOptions(const std::vector<std::pair<std::string, OptionValue>>& options) {
    DBusMessageIter array;
    dbus_message_iter_open_container(&append_, DBUS_TYPE_ARRAY, "{sv}", &array);
    for (const auto& [key, value] : options) {
        DBusMessageIter entry, variant;
        dbus_message_iter_open_container(&array, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
        const char* name = key.c_str();
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &name);
        if (auto text = std::get_if<std::string>(&value)) {
            const char* contents = text->c_str();
            dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, DBUS_TYPE_STRING_AS_STRING, &variant);
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &contents);
        } else if (auto number = std::get_if<uint32_t>(&value)) {
            dbus_uint32_t contents = *number;
            dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, DBUS_TYPE_UINT32_AS_STRING, &variant);
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_UINT32, &contents);
        } else if (auto texts = std::get_if<std::vector<std::string>>(&value)) {
            DBusMessageIter list;
            dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "as", &variant);
            dbus_message_iter_open_container(&variant, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING, &list);
            for (const auto& text : *texts) {
                const char* contents = text.c_str();
                dbus_message_iter_append_basic(&list, DBUS_TYPE_STRING, &contents);
            }
            dbus_message_iter_close_container(&variant, &list);
        } else {
            dbus_bool_t contents = std::get<bool>(value);
            dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, DBUS_TYPE_BOOLEAN_AS_STRING, &variant);
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &contents);
        }
        dbus_message_iter_close_container(&entry, &variant);
        dbus_message_iter_close_container(&array, &entry);
    }
    dbus_message_iter_close_container(&append_, &array);
    return *this;
}

DbusCall& DbusCall::addVariant(double value) {
    DBusMessageIter variant;
    dbus_message_iter_open_container(&append_, DBUS_TYPE_VARIANT, DBUS_TYPE_DOUBLE_AS_STRING, &variant);
    dbus_message_iter_append_basic(&variant, DBUS_TYPE_DOUBLE, &value);
    dbus_message_iter_close_container(&append_, &variant);
    return *this;
}

DbusReply DbusCall::send(DBusConnection* bus, int timeoutMs) {
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, message_, timeoutMs, &error);
    if (!reply) {
        std::string name = dbus_error_is_set(&error) ? error.name : DBUS_ERROR_FAILED;
        dbus_error_free(&error);
        return DbusReply(nullptr, name);
    }
    return replyFrom(reply);
}

PendingReply DbusCall::sendLater(DBusConnection* bus, int timeoutMs) {
    DBusPendingCall* pending = nullptr;
    if (!dbus_connection_send_with_reply(bus, message_, &pending, timeoutMs)) pending = nullptr;
    return PendingReply(pending);
}

void DbusCall::sendWithoutReply(DBusConnection* bus) {
    dbus_message_set_no_reply(message_, TRUE);
    dbus_connection_send(bus, message_, nullptr);
    dbus_connection_flush(bus);
}

DbusReply getProperty(DBusConnection* bus, const std::string& destination, const std::string& path,
                      const char* interface, const char* property, int timeoutMs) {
    return DbusCall(destination, path, DBUS_INTERFACE_PROPERTIES, "Get")
        .add(std::string(interface))
        .add(std::string(property))
        .send(bus, timeoutMs);
}

}  // namespace velmor::platform
