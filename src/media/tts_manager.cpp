#include "media/tts_manager.h"

#include <algorithm>

#include "base/header_value.h"
#include "base/json_object_file.h"
#include "base/log.h"

namespace velmor::media {

namespace {

// Who speaks while no cloud provider is active, and the voice scripts name meanwhile, so
// they play the same once the default provider is configured.
constexpr const char* kFallbackVoice = "brian";

// Configuration keys are read in this order.
constexpr const char* kConfigOrder[] = {"elevenlabs", "openai", "gemini", "deepgram"};

}  // namespace

TTSManager::TTSManager(TTSEngine& systemVoice, std::vector<std::unique_ptr<TTSProvider>> providers)
    : systemVoice_(systemVoice) {
    for (auto& provider : providers) {
        std::string id = provider->providerId();
        providers_[id] = std::move(provider);
    }
}

TTSProvider* TTSManager::provider(const std::string& id) const {
    auto found = providers_.find(id);
    return found == providers_.end() ? nullptr : found->second.get();
}

TTSProvider* TTSManager::activeProvider() const {
    TTSProvider* active = provider(currentProviderId());
    return active && active->isConfigured() ? active : nullptr;
}

bool TTSManager::isConfigured() const { return activeProvider() != nullptr; }

std::string TTSManager::currentProviderId() const {
    return activeProviderId_.withLocked([](const std::string& id) { return id; });
}

std::vector<std::string> TTSManager::allProviderIds() const {
    std::vector<std::string> ids;
    for (const auto& [id, provider] : providers_) ids.push_back(id);  // the map keeps them sorted
    return ids;
}

std::vector<std::string> TTSManager::availableVoices() const {
    auto* active = activeProvider();
    return active ? active->voiceNames() : std::vector<std::string>{};
}

std::string TTSManager::defaultVoice() const {
    auto* active = activeProvider();
    return active ? active->defaultVoice() : kFallbackVoice;
}

Result<void> TTSManager::speakSync(const std::string& text, const std::optional<std::string>& voice) {
    if (auto* active = activeProvider()) return active->speakSync(text, voice);
    return systemVoice_.speakSync(text, voice);
}

std::optional<std::string> TTSManager::fetchAudio(const std::string& text, const std::optional<std::string>& voice) {
    auto* active = activeProvider();
    return active ? active->fetchAudio(text, voice) : std::nullopt;
}

std::optional<std::string> TTSManager::getCachedAudio(const std::string& text,
                                                      const std::optional<std::string>& voice) const {
    auto* active = activeProvider();
    return active ? active->getCachedAudio(text, voice) : std::nullopt;
}

PrefetchCounts TTSManager::prefetch(const std::vector<SpeechLine>& lines) {
    if (auto* active = activeProvider()) return active->prefetch(lines);
    return {0, static_cast<int>(lines.size())};
}

void TTSManager::clearCache() {
    if (auto* active = activeProvider()) active->clearCache();
}

void TTSManager::setActiveProvider(const std::string& id) {
    if (!provider(id) && id != kSystemVoiceId) {
        Log::error("tts-manager", "Unknown provider: " + id);
        return;
    }
    activeProviderId_.withLocked([&](std::string& active) { active = id; });
    Log::info("tts-manager", "Active TTS provider set to: " + id);
}

Result<void> TTSManager::configureProvider(const std::string& id, const std::string& apiKey, bool makeActive) {
    VELMOR_RETURN_IF_FAILED(checkHeaderValue(apiKey));
    auto* target = provider(id);
    if (!target) {
        Log::error("tts-manager", "Unknown provider: " + id);
        return fail("names no known provider: " + id);
    }
    target->configure(apiKey);
    if (makeActive) activeProviderId_.withLocked([&](std::string& active) { active = id; });
    Log::info("tts-manager", "Configured " + id + ", active=" + (makeActive ? "true" : "false"));
    return succeeded();
}

void TTSManager::loadFromConfig(const std::filesystem::path& configFile) {
    nlohmann::json config = readJsonObjectFile(configFile.string());
    if (config.empty()) return;
    for (const char* id : kConfigOrder) {
        auto key = config.find(std::string(id) + "_api_key");
        if (key == config.end() || !key->is_string() || key->get_ref<const std::string&>().empty()) continue;
        if (auto usable = checkHeaderValue(key->get_ref<const std::string&>()); !usable) {
            Log::error("tts-manager", std::string("The stored ") + id + " key " + usable.error() + "; it is not used");
            continue;
        }
        if (auto* target = provider(id)) target->configure(key->get<std::string>());
    }
    if (auto chosen = config.find("tts_provider"); chosen != config.end() && chosen->is_string()) {
        if (provider(chosen->get<std::string>()) || *chosen == kSystemVoiceId)
            activeProviderId_.withLocked([&](std::string& active) { active = chosen->get<std::string>(); });
    }
    Log::info("tts-manager", "Loaded config. Active provider: " + currentProviderId() +
                                 ", configured: " + (isConfigured() ? "true" : "false"));
}

TTSEngine& TTSManager::systemVoice() { return systemVoice_; }

}  // namespace velmor::media
