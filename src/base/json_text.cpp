#include "base/json_text.h"

#include <cmath>

namespace velmor {

namespace {

bool hasNonFiniteNumber(const nlohmann::json& value) {
    if (value.is_number_float()) return !std::isfinite(value.get<double>());
    if (value.is_structured()) {
        for (const auto& child : value)
            if (hasNonFiniteNumber(child)) return true;
    }
    return false;
}

}  // namespace

std::string dictToJson(const nlohmann::json& value) {
    // nlohmann::json keeps object keys in a std::map, so they are already sorted.
    if (hasNonFiniteNumber(value)) return kJsonSerializationFailed;
    try {
        return value.dump();
    } catch (const nlohmann::json::exception&) {
        return kJsonSerializationFailed;
    }
}

}  // namespace velmor
