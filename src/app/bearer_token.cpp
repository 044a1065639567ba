#include "app/bearer_token.h"

#include "base/log.h"
#include "app/user_defaults.h"
#include "base/uuid.h"

#include <algorithm>

namespace velmor {

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
