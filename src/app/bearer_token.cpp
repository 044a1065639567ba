#include "app/bearer_token.h"

#include "app/user_defaults.h"
#include "base/json_fields.h"
#include "base/json_object_file.h"
#include "base/log.h"
#include "base/ports.h"
#include "base/uuid.h"

#include <algorithm>
#include <optional>

namespace velmor {

namespace {

Result<void> storeToken(const std::string& sharedConfigFile, const std::string& token) {
    return mergeIntoJsonObjectFile(sharedConfigFile, {{config_keys::kToken, token}});
}

}  // namespace

std::string loadOrCreateToken(const std::string& sharedConfigFile, UserDefaults& defaults) {
    std::optional<std::string> legacy = defaults.string(kLegacyBearerTokenKey);
    std::string token;
    if (legacy && !legacy->empty()) {
        token = *legacy;
    } else if (!legacy) {
        auto config = readJsonObjectFile(sharedConfigFile);
        if (const std::string* stored = stringField(config, config_keys::kToken); stored && !stored->empty())
            return *stored;
    }
    // An emptied old copy asked for a new token, as an emptied one in the config file does.
    const bool created = token.empty();
    if (created) {
        token = randomUuid();
        token.erase(std::remove(token.begin(), token.end(), '-'), token.end());
    }

    // The token still serves this run when it cannot be stored; a new one is made at the next
    // start then, and the clients set up with this one will be refused. An old copy is removed
    // only once the token is safely in the config file, so the move is tried again.
    if (auto saved = storeToken(sharedConfigFile, token); !saved) {
        Log::error("app", std::string(created ? "Saving" : "Moving") + " the bearer token failed: " + saved.error());
    } else if (legacy) {
        if (auto removed = defaults.remove(kLegacyBearerTokenKey); !removed)
            Log::error("app", "Removing the old copy of the bearer token failed: " + removed.error());
    }
    return token;
}

}  // namespace velmor
