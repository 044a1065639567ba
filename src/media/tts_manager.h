#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/guarded.h"
#include "base/result.h"
#include "media/tts_engine.h"
#include "media/tts_provider.h"

namespace velmor::media {

// Chooses who speaks: the active cloud provider when it holds an API key, otherwise the
// system voice. Built once at start-up and handed to whoever speaks.
class TTSManager {
public:
    // The provider id that chooses the system voice even where a cloud provider holds a key.
    static constexpr const char* kSystemVoiceId = "system";

    TTSManager(TTSEngine& systemVoice, std::vector<std::unique_ptr<TTSProvider>> providers);

    // Whether the active provider exists and holds a key.
    bool isConfigured() const;
    std::string currentProviderId() const;
    // Sorted ascending.
    std::vector<std::string> allProviderIds() const;
    TTSProvider* provider(const std::string& id) const;

    // The active provider's voices, or none.
    std::vector<std::string> availableVoices() const;
    // The active provider's default voice, or "brian" while none is active.
    std::string defaultVoice() const;

    Result<void> speakSync(const std::string& text, const std::optional<std::string>& voice);
    std::optional<std::string> fetchAudio(const std::string& text, const std::optional<std::string>& voice);
    std::optional<std::string> getCachedAudio(const std::string& text, const std::optional<std::string>& voice) const;
    // With no active provider, every line counts as failed.
    PrefetchCounts prefetch(const std::vector<SpeechLine>& lines);
    void clearCache();

    // Unknown ids are logged and change nothing; kSystemVoiceId makes the system voice speak.
    void setActiveProvider(const std::string& id);
    // A key that could not go into a request header (checkHeaderValue) is refused and
    // changes nothing; the error completes "api_key ...".
    Result<void> configureProvider(const std::string& id, const std::string& apiKey, bool makeActive);
    // Reads the provider keys and the chosen provider from the shared configuration file
    // (~/.velmor/config.json); a missing or malformed file changes nothing, and a key that
    // could not go into a header is logged and left out.
    void loadFromConfig(const std::filesystem::path& configFile);

    TTSEngine& systemVoice();

private:
    TTSProvider* activeProvider() const;

    TTSEngine& systemVoice_;
    std::map<std::string, std::unique_ptr<TTSProvider>> providers_;
    // The settings window and tool calls choose and read it from their own threads.
    Guarded<std::string> activeProviderId_{"elevenlabs"};
};

}  // namespace velmor::media
