#pragma once

#include "base/result.h"

#include <optional>
#include <string>

namespace velmor {

// The application's own preferences (the onboarding flag), kept as one JSON object in the
// defaults file.
class UserDefaults {
public:
    explicit UserDefaults(std::string path);

    std::optional<std::string> string(const std::string& key) const;
    bool boolean(const std::string& key) const;  // false when absent or not a boolean

    Result<void> setString(const std::string& key, const std::string& value);
    Result<void> setBoolean(const std::string& key, bool value);
    Result<void> remove(const std::string& key);

private:
    std::string path_;
};

// Where earlier versions kept the bearer token; it now lives in the shared config file only.
inline constexpr const char* kLegacyBearerTokenKey = "velmor_bearer_token";
inline constexpr const char* kOnboardingCompleteKey = "velmor_onboarding_complete";

}  // namespace velmor
