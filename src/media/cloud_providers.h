#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media/audio_player.h"
#include "media/tts_provider.h"

namespace velmor::media {

// The API base address of each vendor; tests point them at a local server.
struct CloudEndpoints {
    std::string elevenLabs = "https://api.elevenlabs.io";
    std::string openAI = "https://api.openai.com";
    std::string gemini = "https://generativelanguage.googleapis.com";
    std::string deepgram = "https://api.deepgram.com";
};

// The four cloud providers, playing through `player` (which must outlive them).
std::vector<std::unique_ptr<TTSProvider>> makeCloudProviders(AudioPlayer& player,
                                                             const CloudEndpoints& endpoints = {});

}  // namespace velmor::media
