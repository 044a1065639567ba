#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

struct sqlite3;

namespace velmor::flows {

// The text stored in args_json: the arguments as compact JSON, or nothing (NULL) when
// there are none or they cannot be written.
std::optional<std::string> argsJsonText(const nlohmann::json& args);

// The steps of one flow as step dictionaries, ordered by step number; empty when the
// query cannot be prepared.
nlohmann::json readSteps(sqlite3* db, int64_t flowId);

}  // namespace velmor::flows
