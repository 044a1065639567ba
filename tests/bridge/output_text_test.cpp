// The text rules behind the bridge's output: which answers count as text, and how an
// error description is embedded in a JSON-RPC error line.
#include "bridge/output_lines.h"
#include "bridge/utf8.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace velmor::bridge {
namespace {

TEST(Utf8, AcceptsWellFormedTextUpToTheLastCodePoint) {
    for (std::string_view text : {"", "plain", "caf\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xf4\x8f\xbf\xbf",
                                  "\xed\x9f\xbf"})
        EXPECT_TRUE(isValidUtf8(text)) << text;
}

TEST(Utf8, RejectsMalformedSequences) {
    struct Case {
        std::string_view bytes;
        const char* why;
    };
    for (auto [bytes, why] : {Case{"\x80", "stray continuation byte"}, Case{"\xc0\xaf", "overlong two-byte form"},
                              Case{"\xe0\x80\xaf", "overlong three-byte form"},
                              Case{"\xf0\x80\x80\xaf", "overlong four-byte form"}, Case{"\xed\xa0\x80", "surrogate"},
                              Case{"\xf4\x90\x80\x80", "above U+10FFFF"}, Case{"\xf5\x80\x80\x80", "invalid lead byte"},
                              Case{"ok\xe2\x82", "cut off at the end"}, Case{"\xe2\x28\xa1", "bad continuation"},
                              Case{"\xff\xfe{}", "byte-order garbage"}})
        EXPECT_FALSE(isValidUtf8(bytes)) << why;
}

TEST(TransportErrorLine, StaysValidJsonWhateverTheDescriptionHolds) {
    std::string description = "bad \"host\" \\ path\nline\ttab \x01 caf\xc3\xa9";
    std::string line = transportErrorLine(description);
    EXPECT_TRUE(line.starts_with(R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":")")) << line;
    auto json = nlohmann::json::parse(line, nullptr, false);
    ASSERT_TRUE(json.is_object()) << line;
    EXPECT_EQ(json["error"]["message"], description);
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace velmor::bridge
