#pragma once

#include <cstdint>
#include <string>

namespace velmor::media {

// Raw little-endian PCM behind a 44-byte RIFF/WAVE header, so any player can read it.
std::string pcmToWav(const std::string& pcm, uint32_t sampleRate, uint16_t channels, uint16_t bitsPerSample);

}  // namespace velmor::media
