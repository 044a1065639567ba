#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace velmor {

// Reading fields of JSON received from outside (tool arguments, page agents, the browser,
// JSON-RPC requests). A field of the wrong type reads exactly like a missing one, and
// nothing throws, whatever the value holds.

// The member under `key`; null when missing or when `object` is not an object.
const nlohmann::json* findField(const nlohmann::json& object, std::string_view key);
// The text under `key`; null when missing or not a string.
const std::string* stringField(const nlohmann::json& object, std::string_view key);
// The text under `key`, `fallback` when missing or not a string.
std::string stringFieldOr(const nlohmann::json& object, std::string_view key, const std::string& fallback = {});

// "missing 'name'": how a missing argument is reported.
std::string missingField(std::string_view name);

}  // namespace velmor
