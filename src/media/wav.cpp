#include "media/wav.h"

namespace velmor::media {

namespace {

void putLittleEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

}  // namespace

std::string pcmToWav(const std::string& pcm, uint32_t sampleRate, uint16_t channels, uint16_t bitsPerSample) {
    auto dataLength = static_cast<uint32_t>(pcm.size());
    std::string wav;
    wav.reserve(44 + pcm.size());
    wav += "RIFF";
    putLittleEndian(wav, 36 + dataLength, 4);
    wav += "WAVEfmt ";
    putLittleEndian(wav, 16, 4);
    putLittleEndian(wav, 1, 2);  // integer PCM
    putLittleEndian(wav, channels, 2);
    putLittleEndian(wav, sampleRate, 4);
    putLittleEndian(wav, sampleRate * channels * bitsPerSample / 8, 4);
    putLittleEndian(wav, channels * bitsPerSample / 8, 2);
    putLittleEndian(wav, bitsPerSample, 2);
    wav += "data";
    putLittleEndian(wav, dataLength, 4);
    wav += pcm;
    return wav;
}

}  // namespace velmor::media
