#include "app/speech_settings.h"

#include "app/json_object_file.h"

namespace velmor {

Result<void> saveSpeechSettings(const std::filesystem::path& configFile, const std::string& providerId,
                                const std::string& apiKey) {
    if (!mergeIntoJsonObjectFile(configFile.string(), {{"tts_provider", providerId}, {providerId + "_api_key", apiKey}}))
        return fail("could not write " + configFile.string());
    return succeeded();
}

}  // namespace velmor
