#include "app/bearer_token.h"
#include "base/uuid.h"
#include "base/paths.h"
#include "app/user_defaults.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace velmor {
namespace {

TEST(BearerToken, FirstLaunchCreatesA32DigitLowerCaseHexTokenAndStoresIt) {
    test::TempHome home;
    UserDefaults defaults(paths::defaultsFile());
    std::string token = loadOrCreateToken(defaults);
    EXPECT_TRUE(std::regex_match(token, std::regex("[0-9a-f]{32}"))) << token;
    EXPECT_EQ(token[12], '4') << "a version-4 UUID";
    EXPECT_NE(std::string("89ab").find(token[16]), std::string::npos) << "the RFC 4122 variant";
    EXPECT_EQ(defaults.string(kBearerTokenKey), token);
}

TEST(BearerToken, LaterLaunchesReuseTheStoredTokenUnlessItIsEmpty) {
    test::TempHome home;
    UserDefaults defaults(paths::defaultsFile());
    std::string first = loadOrCreateToken(defaults);
    EXPECT_EQ(loadOrCreateToken(defaults), first);

    ASSERT_TRUE(defaults.setString(kBearerTokenKey, ""));
    std::string replaced = loadOrCreateToken(defaults);
    EXPECT_EQ(replaced.size(), 32u);
    EXPECT_NE(replaced, first);
}

TEST(BearerToken, TokensDoNotRepeat) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) seen.insert(randomUuid());
    EXPECT_EQ(seen.size(), 1000u);
}

}  // namespace
}  // namespace velmor
