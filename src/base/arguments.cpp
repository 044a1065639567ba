#include "base/arguments.h"

#include "base/json_fields.h"

#include <cmath>

namespace velmor {

Arguments::Arguments(const nlohmann::json& args) : args_(args) {}

const nlohmann::json* Arguments::find(const std::string& key) const {
    return findField(args_, key);
}

std::optional<std::string> Arguments::string(const std::string& key) const {
    const auto* value = find(key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

std::optional<int64_t> Arguments::integer(const std::string& key) const {
    const auto* value = find(key);
    if (!value) return std::nullopt;
    if (value->is_number_integer()) {
        if (value->is_number_unsigned() && value->get<uint64_t>() > uint64_t(INT64_MAX)) return std::nullopt;
        return value->get<int64_t>();
    }
    if (value->is_number_float()) {
        double d = value->get<double>();
        // 2^63 is the first double past INT64_MAX; the lower bound -2^63 itself fits.
        if (std::isfinite(d) && d == std::trunc(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
            return static_cast<int64_t>(d);
    }
    return std::nullopt;
}

std::optional<double> Arguments::real(const std::string& key) const {
    const auto* value = find(key);
    if (!value || !value->is_number()) return std::nullopt;
    return value->get<double>();
}

std::optional<bool> Arguments::boolean(const std::string& key) const {
    const auto* value = find(key);
    if (!value || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

std::optional<std::vector<std::string>> Arguments::stringArray(const std::string& key) const {
    const auto* value = find(key);
    if (!value || !value->is_array()) return std::nullopt;
    std::vector<std::string> strings;
    strings.reserve(value->size());
    for (const auto& element : *value) {
        if (!element.is_string()) return std::nullopt;
        strings.push_back(element.get<std::string>());
    }
    return strings;
}

std::optional<std::string> Arguments::stringOrList(const std::string& key) const {
    if (auto single = string(key)) return single;
    auto list = stringArray(key);
    if (!list || list->empty()) return std::nullopt;
    return nlohmann::json(*list).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

const nlohmann::json* Arguments::array(const std::string& key) const {
    const auto* value = find(key);
    return value && value->is_array() ? value : nullptr;
}

const nlohmann::json* Arguments::object(const std::string& key) const {
    const auto* value = find(key);
    return value && value->is_object() ? value : nullptr;
}

namespace {

bool isWholeNumber(const nlohmann::json& value) {
    if (value.is_number_integer()) return true;
    if (!value.is_number_float()) return false;
    double d = value.get<double>();
    return std::isfinite(d) && d == std::trunc(d);
}

bool hasType(const nlohmann::json& value, std::string_view type) {
    if (type == "string") return value.is_string();
    if (type == "integer") return isWholeNumber(value);
    if (type == "number") return value.is_number();
    if (type == "boolean") return value.is_boolean();
    if (type == "array") return value.is_array();
    if (type == "object") return value.is_object();
    return true;
}

std::string withArticle(std::string_view type) {
    return (type == "integer" || type == "array" || type == "object" ? "an " : "a ") + std::string(type);
}

std::string_view declaredType(const nlohmann::json& schema) {
    const auto* type = findField(schema, "type");
    return type && type->is_string() ? std::string_view(type->get_ref<const std::string&>()) : std::string_view();
}

}  // namespace

Result<void> checkArgumentTypes(const nlohmann::json& args, const nlohmann::json& inputSchema) {
    const auto* properties = findField(inputSchema, "properties");
    if (!properties || !properties->is_object() || !args.is_object()) return succeeded();
    for (const auto& [name, schema] : properties->items()) {
        const auto* value = findField(args, name);
        if (!value || value->is_null()) continue;
        std::string_view type = declaredType(schema);
        if (type.empty()) continue;
        const auto* items = findField(schema, "items");
        std::string_view itemType = items ? declaredType(*items) : std::string_view();
        std::string expected = withArticle(type);
        if (type == "array" && !itemType.empty()) expected = "an array of " + std::string(itemType) + "s";
        if (!hasType(*value, type)) return fail("'" + name + "' must be " + expected);
        if (type == "array" && !itemType.empty())
            for (const auto& element : *value)
                if (!hasType(element, itemType)) return fail("'" + name + "' must be " + expected);
    }
    return succeeded();
}

nlohmann::json answerOf(Result<nlohmann::json> result) {
    if (!result) return errorResult(result.error());
    return std::move(result).value();
}
bool isFailure(const nlohmann::json& result) {
    if (!result.is_object()) return false;
    auto it = result.find("error");
    return it != result.end() && it->is_string();
}

}  // namespace velmor
