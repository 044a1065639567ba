#pragma once

#include <dbus/dbus.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace velmor::platform {

// Reads the arguments of a D-Bus message in order. Every read checks the type it finds and
// answers a default when it is another, so a toolkit that answers oddly cannot crash a scan.
class DbusReader {
public:
    explicit DbusReader(DBusMessage* message);

    bool atEnd() const { return type() == DBUS_TYPE_INVALID; }
    int type() const { return valid_ ? dbus_message_iter_get_arg_type(const_cast<DBusMessageIter*>(&iter_)) : DBUS_TYPE_INVALID; }

    std::string string();
    int32_t int32();
    uint32_t uint32();
    bool boolean();
    double number();  // a double, or any integer type converted
    // A file descriptor passed with the message, now the caller's to close; -1 when none.
    int fileDescriptor();
    // The contents of the container (array, struct, variant, dict entry) at the current
    // position; the reader itself moves past it.
    DbusReader open();
    void skip();

private:
    DbusReader() = default;
    DBusMessageIter iter_{};
    bool valid_ = false;
};

// A reply, or the name of the error that came instead.
class DbusReply {
public:
    DbusReply() = default;
    DbusReply(DBusMessage* owned, std::string errorName);
    DbusReply(DbusReply&& other) noexcept;
    DbusReply& operator=(DbusReply&& other) noexcept;
    DbusReply(const DbusReply&) = delete;
    DbusReply& operator=(const DbusReply&) = delete;
    ~DbusReply();

    bool ok() const { return message_ != nullptr; }
    const std::string& errorName() const { return errorName_; }
    bool hasSignature(const char* signature) const;
    DbusReader reader() const { return DbusReader(message_); }

private:
    DBusMessage* message_ = nullptr;
    std::string errorName_;
};

// A reply that is on its way; waiting for several of these at once costs one round trip.
class PendingReply {
public:
    explicit PendingReply(DBusPendingCall* pending) : pending_(pending) {}
    PendingReply(PendingReply&& other) noexcept : pending_(other.pending_) { other.pending_ = nullptr; }
    PendingReply(const PendingReply&) = delete;
    PendingReply& operator=(const PendingReply&) = delete;
    ~PendingReply();

    DbusReply wait();

private:
    DBusPendingCall* pending_;
};

// One method call, built argument by argument.
class DbusCall {
public:
    DbusCall(const std::string& destination, const std::string& path, const char* interface, const char* method);
    DbusCall(const DbusCall&) = delete;
    DbusCall& operator=(const DbusCall&) = delete;
    ~DbusCall();

    DbusCall& add(const std::string& value);
    DbusCall& addObjectPath(const std::string& path);
    DbusCall& add(int32_t value);
    DbusCall& add(uint32_t value);
    DbusCall& add(bool value);
    DbusCall& add(double value);
    DbusCall& addVariant(double value);
    // An a{sv} of options, such as the services of a desktop take.
    using OptionValue = std::variant<std::string, uint32_t, bool, std::vector<std::string>>;
    DbusCall& addOptions(const std::vector<std::pair<std::string, OptionValue>>& options);

    DbusReply send(DBusConnection* bus, int timeoutMs);
    PendingReply sendLater(DBusConnection* bus, int timeoutMs);
    void sendWithoutReply(DBusConnection* bus);

private:
    DBusMessage* message_;
    DBusMessageIter append_{};
};

// org.freedesktop.DBus.Properties.Get of one property: the variant's contents.
DbusReply getProperty(DBusConnection* bus, const std::string& destination, const std::string& path,
                      const char* interface, const char* property, int timeoutMs);

}  // namespace velmor::platform
