#include "base/json_fields.h"

namespace velmor {

const nlohmann::json* findField(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object()) return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const std::string* stringField(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* value = findField(object, key);
    return value && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

std::string stringFieldOr(const nlohmann::json& object, std::string_view key, const std::string& fallback) {
    const std::string* value = stringField(object, key);
    return value ? *value : fallback;
}

std::string missingField(std::string_view name) { return "missing '" + std::string(name) + "'"; }

}  // namespace velmor
