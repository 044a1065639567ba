#pragma once

#include <filesystem>
#include <string>

#include "base/result.h"

namespace velmor {

// Records the chosen speech provider and its API key in the shared configuration file
// (`tts_provider` and `<providerId>_api_key`), keeping every other key; the file is left
// readable by its owner only. Used by the configuration tool and the settings window.
Result<void> saveSpeechSettings(const std::filesystem::path& configFile, const std::string& providerId,
                                const std::string& apiKey);

}  // namespace velmor
