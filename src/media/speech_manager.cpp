#include "media/speech_manager.h"

namespace velmor::media {

namespace {

// Scripts written while no provider is configured still name a voice, so they play the
// same once the user configures the default provider.
constexpr const char* kFallbackVoice = "brian";

}  // namespace

std::string TTSManager::defaultVoice() const { return kFallbackVoice; }

}  // namespace velmor::media
