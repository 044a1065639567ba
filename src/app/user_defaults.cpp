#include "app/user_defaults.h"

#include "base/json_fields.h"
#include "base/json_object_file.h"

namespace velmor {

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
    auto object = readJsonObjectFile(path_);
    if (const std::string* value = stringField(object, key)) return *value;
    return std::nullopt;
}

bool UserDefaults::boolean(const std::string& key) const {
    auto object = readJsonObjectFile(path_);
    const nlohmann::json* value = findField(object, key);
    return value && value->is_boolean() && value->get<bool>();
}

Result<void> UserDefaults::setString(const std::string& key, const std::string& value) {
    return mergeIntoJsonObjectFile(path_, {{key, value}});
}

Result<void> UserDefaults::setBoolean(const std::string& key, bool value) {
    return mergeIntoJsonObjectFile(path_, {{key, value}});
}

Result<void> UserDefaults::remove(const std::string& key) { return removeFromJsonObjectFile(path_, key); }

}  // namespace velmor
