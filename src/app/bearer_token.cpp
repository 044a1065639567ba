#include "app/bearer_token.h"

#include "app/user_defaults.h"
#include "base/uuid.h"

#include <algorithm>

namespace velmor {

std::string loadOrCreateToken(UserDefaults& defaults) {
    if (auto stored = defaults.string(kBearerTokenKey); stored && !stored->empty()) return *stored;
    std::string token = randomUuid();
    token.erase(std::remove(token.begin(), token.end(), '-'), token.end());
    defaults.setString(kBearerTokenKey, token);
    return token;
}

}  // namespace velmor
