#include "base/json_depth.h"

#include <gtest/gtest.h>
#include <string>

namespace velmor {
namespace {

std::string nested(size_t depth, const std::string& inside = "") {
    std::string text;
    for (size_t i = 0; i < depth; ++i) text += i % 2 ? "[" : R"({"k":)";
    text += inside.empty() ? "1" : inside;
    for (size_t i = depth; i-- > 0;) text += i % 2 ? "]" : "}";
    return text;
}

// The limit counts arrays and objects alike, and brackets inside strings (escaped quotes
// included) are text, not nesting.
TEST(JsonDepth, SixtyFourLevelsParseAndSixtyFiveAreRefusedLikeUnreadableText) {
    EXPECT_EQ(parseBoundedJson(nested(64)), nlohmann::json::parse(nested(64)));
    EXPECT_TRUE(parseBoundedJson(nested(65)).is_discarded());
    EXPECT_TRUE(parseBoundedJson(std::string(100'000, '[') + std::string(100'000, ']')).is_discarded());
    std::string bracketsInText = R"("\"[[[[{{{{\\")";
    EXPECT_EQ(parseBoundedJson(nested(64, std::string(200, ' ') + bracketsInText)),
              nlohmann::json::parse(nested(64, bracketsInText)));
    EXPECT_TRUE(parseBoundedJson("not json").is_discarded());
}

}  // namespace
}  // namespace velmor
