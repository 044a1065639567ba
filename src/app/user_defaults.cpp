#include "app/user_defaults.h"

#include "app/json_object_file.h"

namespace velmor {

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
    auto object = readJsonObjectFile(path_);
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

bool UserDefaults::boolean(const std::string& key) const {
    auto object = readJsonObjectFile(path_);
    auto it = object.find(key);
    return it != object.end() && it->is_boolean() && it->get<bool>();
}

Result<void> UserDefaults::setString(const std::string& key, const std::string& value) {
    return mergeIntoJsonObjectFile(path_, {{key, value}});
}

Result<void> UserDefaults::setBoolean(const std::string& key, bool value) {
    return mergeIntoJsonObjectFile(path_, {{key, value}});
}

}  // namespace velmor
