#include "base/arguments.h"

#include <gtest/gtest.h>

namespace velmor::tools {
namespace {

using nlohmann::json;

TEST(ArgumentReaders, AValueOfAnotherTypeCountsAsAbsent) {
    json raw = {{"s", "text"}, {"n", 5}, {"b", true}, {"a", {"x", "y"}}, {"o", {{"k", 1}}}, {"null", nullptr},
                {"mixed", {"File", 2}}, {"empty", json::array()}};
    Arguments args(raw);
    EXPECT_EQ(args.string("s"), "text");
    EXPECT_EQ(args.string("n"), std::nullopt);
    EXPECT_EQ(args.string("null"), std::nullopt);
    EXPECT_EQ(args.string("absent"), std::nullopt);
    EXPECT_EQ(args.boolean("b"), true);
    EXPECT_EQ(args.boolean("s"), std::nullopt);
    EXPECT_EQ(args.integer("b"), std::nullopt);
    EXPECT_EQ(args.integer("s"), std::nullopt);
    EXPECT_NE(args.array("a"), nullptr);
    EXPECT_EQ(args.array("o"), nullptr);
    EXPECT_NE(args.object("o"), nullptr);
    EXPECT_EQ(args.object("a"), nullptr);
    EXPECT_EQ(args.stringArray("a"), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(args.stringArray("mixed"), std::nullopt);
    EXPECT_EQ(args.stringArray("empty"), std::vector<std::string>{});

    json notAnObject = json::array({1, 2});
    EXPECT_EQ(Arguments(notAnObject).string("0"), std::nullopt);
    // Only a string error is a failure, and only failures stay out of recorded flows.
    EXPECT_TRUE(isFailure({{"error", "x"}}));
    EXPECT_FALSE(isFailure({{"error", 1}}));
    EXPECT_FALSE(isFailure({{"ok", true}}));
}

TEST(ArgumentReaders, IntegersMustBeWholeNumbersWithin64Bits) {
    json raw = json::parse(R"({"i":-3,"whole":4.0,"frac":4.5,"big":1e300,"max":9223372036854775807,
                              "over":18446744073709551615,"neg":-9223372036854775808})");
    Arguments args(raw);
    EXPECT_EQ(args.integer("i"), -3);
    EXPECT_EQ(args.integer("whole"), 4);
    EXPECT_EQ(args.integer("frac"), std::nullopt);
    EXPECT_EQ(args.integer("big"), std::nullopt);
    EXPECT_EQ(args.integer("max"), INT64_MAX);
    EXPECT_EQ(args.integer("over"), std::nullopt);
    EXPECT_EQ(args.integer("neg"), INT64_MIN);
    EXPECT_EQ(args.real("frac"), 4.5);
    EXPECT_EQ(args.real("i"), -3.0);
}

}  // namespace
}  // namespace velmor::tools
