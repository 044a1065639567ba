#include "media/cloud_provider.h"

#include <nlohmann/json.hpp>

#include "base/log.h"
#include "base/text.h"
#include "base/utf8.h"
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
    return apiKey_.withLocked([](const std::string& key) { return !key.empty(); });
}

void CloudProvider::configure(const std::string& apiKey) {
    apiKey_.withLocked([&](std::string& key) { key = apiKey; });
    Log::info("tts", wording_.vendor + " TTS configured");
}

std::string CloudProvider::cacheKey(const std::string& text, const std::optional<std::string>& voice) const {
    return lowerAscii(voice.value_or(defaultVoice())) + "::" + text;
}

std::optional<std::string> CloudProvider::getCachedAudio(const std::string& text,
                                                         const std::optional<std::string>& voice) const {
    std::string key = cacheKey(text, voice);
    return cache_.withLocked([&](const std::map<std::string, std::string>& cache) -> std::optional<std::string> {
        auto found = cache.find(key);
        if (found == cache.end()) return std::nullopt;
        return found->second;
    });
}

void CloudProvider::clearCache() {
    cache_.withLocked([](std::map<std::string, std::string>& cache) { cache.clear(); });
}

std::optional<std::string> CloudProvider::fetchAudio(const std::string& text, const std::optional<std::string>& voice) {
    if (auto cached = getCachedAudio(text, voice)) return cached;
    const std::string apiKey = apiKey_.withLocked([](const std::string& key) { return key; });
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
    cache_.withLocked([&](std::map<std::string, std::string>& cache) { cache[cacheKey(text, voice)] = *audio; });
    return audio;
}

void CloudProvider::logRefusal(long status, const std::string& body) const {
    std::string shown = isUtf8(body) ? utf8Prefix(body, kLoggedBodyCharacters) : "";
    Log::error("tts", wording_.vendor + " HTTP " + std::to_string(status) + ": " + shown);
}

Result<void> CloudProvider::speakSync(const std::string& text, const std::optional<std::string>& voice) {
    if (!isConfigured()) return fail(wording_.keyMissing);
    std::string chosen = voice.value_or(defaultVoice());
    if (auto cached = getCachedAudio(text, chosen)) {
        Log::info("tts", wording_.playingFromCache + utf8Prefix(text, kLoggedTextCharacters));
        return player_.playAndWait(*cached);
    }
    auto audio = fetchAudio(text, chosen);
    if (!audio) return fail(wording_.fetchFailed);
    return player_.playAndWait(*audio);
}

}  // namespace velmor::media
