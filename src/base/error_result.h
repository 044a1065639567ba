#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace velmor {

// {"error": message}: the shape of every failed tool call.
nlohmann::json errorResult(const std::string& message);

}  // namespace velmor
