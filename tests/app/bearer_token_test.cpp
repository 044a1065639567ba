#include "app/bearer_token.h"
#include "app/user_defaults.h"
#include "base/paths.h"
#include "base/uuid.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <filesystem>
#include <regex>
#include <set>

namespace velmor {
namespace {

using nlohmann::json;

json fileObject(const std::string& path) { return json::parse(test::readFile(path)); }

// The token is a random version-4 UUID written as 32 lower-case hex digits, stored at the
// first launch in the file the bridge reads, and reused by later ones unless it was emptied.
TEST(BearerToken, IsARandomUuidStoredOnceWhereTheBridgeReadsItAndReplacedOnlyWhenEmptied) {
    test::TempHome home;
    UserDefaults defaults(paths::defaultsFile());
    std::string token = loadOrCreateToken(paths::sharedConfigFile(), defaults);
    EXPECT_TRUE(std::regex_match(token, std::regex("[0-9a-f]{32}"))) << token;
    EXPECT_EQ(token[12], '4') << "a version-4 UUID";
    EXPECT_NE(std::string("89ab").find(token[16]), std::string::npos) << "the RFC 4122 variant";
    EXPECT_EQ(fileObject(paths::sharedConfigFile()), json({{"token", token}}));
    EXPECT_EQ(test::fileMode(paths::sharedConfigFile()), 0600u);
    EXPECT_FALSE(std::filesystem::exists(paths::defaultsFile())) << "stored once";
    EXPECT_EQ(loadOrCreateToken(paths::sharedConfigFile(), defaults), token);

    test::writeFile(paths::sharedConfigFile(), R"({"token": "", "port": 19820})");
    std::string replaced = loadOrCreateToken(paths::sharedConfigFile(), defaults);
    EXPECT_EQ(replaced.size(), 32u);
    EXPECT_NE(replaced, token);
    EXPECT_EQ(fileObject(paths::sharedConfigFile()), json({{"token", replaced}, {"port", 19820}}));

    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) seen.insert(randomUuid());
    EXPECT_EQ(seen.size(), 1000u);
}

// Earlier versions kept the token in the defaults (and wrote a copy to the config file at
// each start). It is moved, so clients set up with it keep working, and the defaults keep
// their other keys.
TEST(BearerToken, ATokenAnEarlierVersionLeftInTheDefaultsIsMovedIntoTheConfigFile) {
    test::TempHome home;
    test::writeFile(paths::defaultsFile(),
                    R"({"velmor_bearer_token": "legacy0123456789abcdef0123456789", "velmor_onboarding_complete": true})");
    test::writeFile(paths::sharedConfigFile(), R"({"token": "stale", "tts_provider": "deepgram"})");
    UserDefaults defaults(paths::defaultsFile());
    EXPECT_EQ(loadOrCreateToken(paths::sharedConfigFile(), defaults), "legacy0123456789abcdef0123456789");
    EXPECT_EQ(fileObject(paths::sharedConfigFile()),
              json({{"token", "legacy0123456789abcdef0123456789"}, {"tts_provider", "deepgram"}}));
    EXPECT_EQ(fileObject(paths::defaultsFile()), json({{"velmor_onboarding_complete", true}}));
    EXPECT_EQ(loadOrCreateToken(paths::sharedConfigFile(), defaults), "legacy0123456789abcdef0123456789");

    // An emptied old copy asks for a new token, as it did.
    test::writeFile(paths::defaultsFile(), R"({"velmor_bearer_token": ""})");
    std::string renewed = loadOrCreateToken(paths::sharedConfigFile(), defaults);
    EXPECT_EQ(renewed.size(), 32u);
    EXPECT_EQ(fileObject(paths::sharedConfigFile())["token"], renewed);
    EXPECT_EQ(fileObject(paths::defaultsFile()), json::object());

    // When the config file cannot take it, the token stays where it was for the next start.
    test::writeFile(paths::defaultsFile(), R"({"velmor_bearer_token": "kept"})");
    std::filesystem::remove_all(home.path() + "/.velmor");
    test::writeFile(home.path() + "/.velmor", "a file where the folder should be");
    EXPECT_EQ(loadOrCreateToken(paths::sharedConfigFile(), defaults), "kept");
    EXPECT_EQ(fileObject(paths::defaultsFile()), json({{"velmor_bearer_token", "kept"}}));
}

}  // namespace
}  // namespace velmor
