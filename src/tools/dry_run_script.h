#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace velmor::tools {

// Turns the steps of a dry-run recording (step dictionaries with "tool" and "args") into
// the script that record_narrated_demo plays. `steps` that is not an array of
// dictionaries counts as no steps; a recorded speak without a voice gets `defaultVoice`.
nlohmann::json dryRunScript(const nlohmann::json& steps, const std::string& defaultVoice);

}  // namespace velmor::tools
