#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/result.h"

namespace velmor::media {

// One line of narration: its text and, optionally, the voice to say it in.
struct SpeechLine {
    std::string text;
    std::optional<std::string> voice;
};

// How many lines of a prefetch ended with audio in the cache, and how many did not.
struct PrefetchCounts {
    int succeeded = 0;
    int failed = 0;
};

// A cloud text-to-speech service: turns text and a voice name into audio bytes with one
// request, keeps them in memory, and plays them to the end.
class TTSProvider {
public:
    virtual ~TTSProvider() = default;

    // "elevenlabs", "openai", "gemini" or "deepgram".
    virtual std::string providerId() const = 0;
    // True once a non-empty API key is held.
    virtual bool isConfigured() const = 0;
    // Replaces the API key (kept in memory only).
    virtual void configure(const std::string& apiKey) = 0;

    // Speaks the text (from the cache when possible) and returns when playback has ended.
    virtual Result<void> speakSync(const std::string& text, const std::optional<std::string>& voice) = 0;
    // The audio bytes for the text, from the cache or one request (stored in the cache);
    // nothing when the request failed.
    virtual std::optional<std::string> fetchAudio(const std::string& text, const std::optional<std::string>& voice) = 0;
    // Fetches every uncached line in parallel (a few requests at a time) and waits for all.
    virtual PrefetchCounts prefetch(const std::vector<SpeechLine>& lines);
    // Cached bytes for the text in that voice (letter case of the voice ignored); never fetches.
    virtual std::optional<std::string> getCachedAudio(const std::string& text, const std::optional<std::string>& voice) const = 0;
    virtual void clearCache() = 0;

    // The voices offered to users, in order, and the one used when a request names none.
    virtual std::vector<std::string> voiceNames() const = 0;
    virtual std::string defaultVoice() const = 0;
};

// The most requests a prefetch keeps in flight at once, so a long script cannot open
// dozens of connections to a vendor at the same moment.
inline constexpr int kMaxParallelFetches = 8;

}  // namespace velmor::media
