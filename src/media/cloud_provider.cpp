#include "media/cloud_provider.h"

#include <nlohmann/json.hpp>

#include "app/log.h"
#include "automation/text.h"
#include "media/http_post.h"

namespace velmor::media {

namespace {

constexpr size_t kLoggedBodyCharacters = 200;
constexpr size_t kLoggedTextCharacters = 40;

bool isUtf8(const std::string& text) {
    try {
        (void)nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

}  // namespace

CloudProvider::CloudProvider(ProviderWording wording, std::string apiBase, AudioPlayer& player,
                             std::vector<std::string> voices)
    : wording_(std::move(wording)), apiBase_(std::move(apiBase)), player_(player), voices_(std::move(voices)) {
    while (!apiBase_.empty() && apiBase_.back() == '/') apiBase_.pop_back();
}

bool CloudProvider::isConfigured() const {
    std::lock_guard lock(keyMutex_);
    return !apiKey_.empty();
}

void CloudProvider::configure(const std::string& apiKey) {
    {
        std::lock_guard lock(keyMutex_);
        apiKey_ = apiKey;
    }
    Log::info("tts", wording_.vendor + " TTS configured");
}

std::string CloudProvider::cacheKey(const std::string& text, const std::optional<std::string>& voice) const {
    return automation::lowerAscii(voice.value_or(defaultVoice())) + "::" + text;
}

std::optional<std::string> CloudProvider::getCachedAudio(const std::string& text,
                                                         const std::optional<std::string>& voice) const {
    std::string key = cacheKey(text, voice);
    std::lock_guard lock(cacheMutex_);
    auto found = cache_.find(key);
    if (found == cache_.end()) return std::nullopt;
    return found->second;
}

void CloudProvider::clearCache() {
    std::lock_guard lock(cacheMutex_);
    cache_.clear();
}

std::optional<std::string> CloudProvider::fetchAudio(const std::string& text, const std::optional<std::string>& voice) {
    if (auto cached = getCachedAudio(text, voice)) return cached;
    std::string apiKey;
    {
        std::lock_guard lock(keyMutex_);
        apiKey = apiKey_;
    }
    // Without a key the vendor can only refuse; no request leaves the machine.
    if (apiKey.empty()) return std::nullopt;
    auto vendorRequest = request(text, voice.value_or(defaultVoice()), apiKey);
    if (!vendorRequest) return std::nullopt;
    auto response = postJson(apiBase_ + vendorRequest->path, vendorRequest->headers, vendorRequest->body);
    if (!response) {
        Log::error("tts", wording_.vendor + " fetch error: " + response.error());
        return std::nullopt;
    }
    if (response->status != 200) {
        logRefusal(response->status, response->body);
        return std::nullopt;
    }
    auto audio = audioFrom(response->body);
    if (!audio) return std::nullopt;
    std::lock_guard lock(cacheMutex_);
    cache_[cacheKey(text, voice)] = *audio;
    return audio;
}

void CloudProvider::logRefusal(long status, const std::string& body) const {
    std::string shown = isUtf8(body) ? automation::utf8Prefix(body, kLoggedBodyCharacters) : "";
    Log::error("tts", wording_.vendor + " HTTP " + std::to_string(status) + ": " + shown);
}

Result<void> CloudProvider::speakSync(const std::string& text, const std::optional<std::string>& voice) {
    if (!isConfigured()) return fail(wording_.keyMissing);
    std::string chosen = voice.value_or(defaultVoice());
    if (auto cached = getCachedAudio(text, chosen)) {
        Log::info("tts", wording_.playingFromCache + automation::utf8Prefix(text, kLoggedTextCharacters));
        return player_.playAndWait(*cached);
    }
    auto audio = fetchAudio(text, chosen);
    if (!audio) return fail(wording_.fetchFailed);
    return player_.playAndWait(*audio);
}

}  // namespace velmor::media
