// The text rules behind the bridge's own lines: how an error is written, and how the id of
// a line too long to parse is still found.
#include "bridge/output_lines.h"
#include "bridge/stdin_messages.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace velmor::bridge {
namespace {

using nlohmann::json;

TEST(ErrorLine, StaysOneValidJsonLineWhateverTheDescriptionHolds) {
    std::string description = "bad \"host\" \\ path\nline\ttab \x01 caf\xc3\xa9 \xff";
    std::string line = errorLine("req-1", description);
    EXPECT_TRUE(line.starts_with(R"({"jsonrpc":"2.0","id":"req-1","error":{"code":-32603,"message":")")) << line;
    json parsed = json::parse(line, nullptr, false);
    ASSERT_TRUE(parsed.is_object()) << line;
    EXPECT_EQ(parsed["error"]["message"], "bad \"host\" \\ path\nline\ttab \x01 caf\xc3\xa9 \xef\xbf\xbd");
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(errorLine(nullptr, "x"), R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"x"}})");
}

TEST(IdOfALongLine, IsReadFromTheTopLevelOfWhatArrived) {
    EXPECT_EQ(idInPrefix(R"({"jsonrpc":"2.0","id":42,"params":{"pad":"xxxx)"), 42);
    EXPECT_EQ(idInPrefix(R"({"params":{"id":1,"deep":[{"id":2}]},"id":"outer","pad":"xx)"), "outer");
    EXPECT_EQ(idInPrefix(R"({"params":{"id":1,"pad":"xxxx)"), nullptr);
    EXPECT_EQ(idInPrefix(R"({"id":{"nested":1},"pad":"x)"), nullptr);
    EXPECT_EQ(idInPrefix(R"([{"id":3}, "xx)"), nullptr);
    EXPECT_EQ(idInPrefix("garbage"), nullptr);
}

TEST(InputMessages, NotificationsAreTheObjectsWhoseMethodSaysSo) {
    EXPECT_TRUE(readInputMessage(R"({"jsonrpc":"2.0","method":"notifications/initialized"})").isNotification);
    InputMessage request = readInputMessage(R"({"jsonrpc":"2.0","id":"a","method":"tools/list"})");
    EXPECT_FALSE(request.isNotification);
    EXPECT_EQ(request.id, "a");
    EXPECT_FALSE(readInputMessage("notifications/initialized").isNotification);
    EXPECT_EQ(readInputMessage(R"({"method":"tools/list"})").id, nullptr);
}

}  // namespace
}  // namespace velmor::bridge
