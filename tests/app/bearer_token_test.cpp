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

// The token is a random version-4 UUID written as 32 lower-case hex digits, stored at the
// first launch and reused by later ones unless it was emptied.
TEST(BearerToken, IsARandomUuidCreatedOnceAndReplacedOnlyWhenEmptied) {
    test::TempHome home;
    UserDefaults defaults(paths::defaultsFile());
    std::string token = loadOrCreateToken(defaults);
    EXPECT_TRUE(std::regex_match(token, std::regex("[0-9a-f]{32}"))) << token;
    EXPECT_EQ(token[12], '4') << "a version-4 UUID";
    EXPECT_NE(std::string("89ab").find(token[16]), std::string::npos) << "the RFC 4122 variant";
    EXPECT_EQ(defaults.string(kBearerTokenKey), token);
    EXPECT_EQ(loadOrCreateToken(defaults), token);

    ASSERT_TRUE(defaults.setString(kBearerTokenKey, ""));
    std::string replaced = loadOrCreateToken(defaults);
    EXPECT_EQ(replaced.size(), 32u);
    EXPECT_NE(replaced, token);

    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) seen.insert(randomUuid());
    EXPECT_EQ(seen.size(), 1000u);
}

}  // namespace
}  // namespace velmor
