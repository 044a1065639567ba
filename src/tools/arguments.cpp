#include "tools/arguments.h"

#include "base/json_fields.h"

#include <cmath>

namespace velmor::tools {

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

const nlohmann::json* Arguments::array(const std::string& key) const {
    const auto* value = find(key);
    return value && value->is_array() ? value : nullptr;
}

const nlohmann::json* Arguments::object(const std::string& key) const {
    const auto* value = find(key);
    return value && value->is_object() ? value : nullptr;
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

}  // namespace velmor::tools
