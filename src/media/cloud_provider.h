#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/guarded.h"
#include "media/audio_player.h"
#include "media/http_post.h"
#include "media/tts_provider.h"

namespace velmor::media {

// What one vendor's provider says in the user's and the log's words.
struct ProviderWording {
    std::string id;               // "openai"
    std::string vendor;           // "OpenAI": the prefix of its log lines
    std::string keyMissing;       // speakSync without a key
    std::string playingFromCache; // log prefix, followed by the start of the text
    std::string fetchFailed;      // speakSync when no audio came back
};

// One HTTP request to a vendor.
struct VendorRequest {
    std::string path;  // appended to the API base
    std::vector<HttpHeader> headers;
    std::string body;
};

// The part every cloud provider shares: the key, the in-memory cache keyed by the voice
// in lower case and the text, fetching through it, and speaking from it. A vendor adds
// its request, how audio is taken out of the answer, and how a refusal is logged.
class CloudProvider : public TTSProvider {
public:
    CloudProvider(ProviderWording wording, std::string apiBase, AudioPlayer& player, std::vector<std::string> voices);

    std::string providerId() const override { return wording_.id; }
    bool isConfigured() const override;
    void configure(const std::string& apiKey) override;
    Result<void> speakSync(const std::string& text, const std::optional<std::string>& voice) override;
    std::optional<std::string> fetchAudio(const std::string& text, const std::optional<std::string>& voice) override;
    std::optional<std::string> getCachedAudio(const std::string& text, const std::optional<std::string>& voice) const override;
    void clearCache() override;
    std::vector<std::string> voiceNames() const override { return voices_; }
    std::string defaultVoice() const override { return voices_.front(); }

protected:
    // The request for the text in `voice` (spelled as the caller gave it); nothing when no
    // valid request can be formed.
    virtual std::optional<VendorRequest> request(const std::string& text, const std::string& voice,
                                                 const std::string& apiKey) const = 0;
    // The audio in a successful answer; by default the body itself.
    virtual std::optional<std::string> audioFrom(const std::string& body) const { return body; }
    // Logs an answer with a status other than 200.
    virtual void logRefusal(long status, const std::string& body) const;

    const ProviderWording& wording() const { return wording_; }

private:
    std::string cacheKey(const std::string& text, const std::optional<std::string>& voice) const;

    ProviderWording wording_;
    std::string apiBase_;
    AudioPlayer& player_;
    std::vector<std::string> voices_;
    // The settings window sets the key while calls speak; prefetching fills the cache from
    // several threads at once.
    Guarded<std::string> apiKey_;
    Guarded<std::map<std::string, std::string>> cache_;  // audio by cacheKey
};

}  // namespace velmor::media
