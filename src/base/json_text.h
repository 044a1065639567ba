#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace velmor {

// The one serialiser every response goes through: compact, keys sorted at every level,
// UTF-8. A value that cannot be written (invalid UTF-8 text, NaN or an infinity) yields
// kJsonSerializationFailed instead of the whole text.
std::string dictToJson(const nlohmann::json& value);

inline constexpr const char* kJsonSerializationFailed = "{\"error\":\"json serialization failed\"}";

}  // namespace velmor
