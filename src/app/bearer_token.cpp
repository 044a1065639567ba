#include "app/bearer_token.h"

#include "app/log.h"
#include "app/user_defaults.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <openssl/rand.h>
#include <random>

namespace velmor {

std::string randomUuid() {
    std::array<uint8_t, 16> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        std::random_device device;
        for (auto& b : bytes) b = static_cast<uint8_t>(device());
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0f];
    }
    return text;
}

std::string loadOrCreateToken(UserDefaults& defaults) {
    if (auto stored = defaults.string(kBearerTokenKey); stored && !stored->empty()) return *stored;
    std::string token = randomUuid();
    token.erase(std::remove(token.begin(), token.end(), '-'), token.end());
    // The token still serves this run; the next one makes another, and the clients set up
    // with this one will be refused then.
    if (auto saved = defaults.setString(kBearerTokenKey, token); !saved)
        Log::error("app", "Saving the bearer token failed: " + saved.error());
    return token;
}

}  // namespace velmor
