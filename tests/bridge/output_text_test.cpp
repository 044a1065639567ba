// The text rules behind the bridge's lines: what of the application's answer reaches the
// client, how an error is written, and how the id of a line too long to parse is found.
#include "bridge/answer_line.h"
#include "bridge/event_stream.h"
#include "bridge/output_lines.h"
#include "bridge/stdin_messages.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <vector>

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

// Only a JSON-RPC response to the request itself passes, as it came but on one line, under
// any status; anything else becomes an error for that request saying what came back
// instead.
TEST(AnswerLine, PassesOnlyAResponseToTheRequestAndOtherwiseSaysWhatCame) {
    struct Case {
        unsigned status;
        std::string body, message;
    };
    const std::string notAResponse = "Velmor's answer is not a JSON-RPC response to this request";
    for (const Case& c : std::vector<Case>{
             {200, "<html><body>Proxy error\n</body></html>", "Velmor's answer is not JSON"},
             {200, "\xff\xfe{}", "Velmor's answer is not JSON"},
             {401, R"({"error":"unauthorized"})", "Velmor answered HTTP 401: unauthorized"},
             {404, R"({"error":"not found"})", "Velmor answered HTTP 404: not found"},
             {500, "<h1>Internal Server Error</h1>", "Velmor answered HTTP 500"},
             {200, R"({"jsonrpc":"2.0","id":1,"result":)" + std::string(200'000, '[') + std::string(200'000, ']') + "}",
              "Velmor's answer is nested too deeply"},
             {200, R"({"jsonrpc":"2.0","id":999,"result":{}})", notAResponse},
             {200, R"({"error":"x"})", notAResponse},
             {200, "", "empty response"},
             {204, "", "empty response"},
         })
        EXPECT_EQ(answerLine("req", c.status, c.body), errorLine("req", c.message)) << c.body.substr(0, 60);
    EXPECT_EQ(answerLine(1, 200, "{\"jsonrpc\":\"2.0\",\r\n\"id\":1,\"result\":{\"text\":\"a\\nb\"}}"),
              R"({"jsonrpc":"2.0",  "id":1,"result":{"text":"a\nb"}})");
    EXPECT_EQ(answerLine(nullptr, 400, R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Parse error"}})"),
              R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Parse error"}})");
    EXPECT_EQ(answerLine(5, 202, ""), errorLine(5, "empty response"));
    // A later member of the same name counts, as it would in the built value.
    for (const char* body : {R"({"jsonrpc":"2.0","id":1,"jsonrpc":2,"result":{}})", R"({"jsonrpc":"2.0","id":1,"id":2,"result":{}})",
                             R"({"jsonrpc":"2.0","id":1,"error":{"code":1},"error":"x"})",
                             R"({"jsonrpc":"2.0","id":1,"result":{},"error":{"code":1}})", R"({"jsonrpc":"2.0","id":[1],"result":{}})"})
        EXPECT_EQ(answerLine(1, 200, body), errorLine(1, notAResponse)) << body;
    EXPECT_EQ(answerLine(1, 200, R"({"jsonrpc":"2.0","id":1.0,"result":{"id":2,"jsonrpc":1}})"),
              R"({"jsonrpc":"2.0","id":1.0,"result":{"id":2,"jsonrpc":1}})");
    json structuredId = {{"k", {1}}};
    EXPECT_EQ(answerLine(structuredId, 200, R"({"jsonrpc":"2.0","id":{"k":[1]},"result":1})"),
              R"({"jsonrpc":"2.0","id":{"k":[1]},"result":1})");
}

// An event stream carries the answer and what the application sends of its own accord
// meanwhile; anything else in it is dropped.
TEST(StreamedMessage, PassesTheAnswerAndTheApplicationsOwnMessagesOnly) {
    StreamedMessage progress = streamedMessage(3, R"({"jsonrpc":"2.0","method":"notifications/progress","params":{"progress":1}})");
    EXPECT_EQ(progress.line, R"({"jsonrpc":"2.0","method":"notifications/progress","params":{"progress":1}})");
    EXPECT_FALSE(progress.isAnswer);
    StreamedMessage answer = streamedMessage(3, "{\"jsonrpc\":\"2.0\",\n\"id\":3,\"result\":{}}");
    EXPECT_EQ(answer.line, R"({"jsonrpc":"2.0", "id":3,"result":{}})");
    EXPECT_TRUE(answer.isAnswer);
    for (const char* dropped : {"", "not json", R"({"jsonrpc":"2.0","id":4,"result":{}})", R"({"method":"x"})",
                                R"({"jsonrpc":"2.0","method":"x","result":1})", "[1]"})
        EXPECT_EQ(streamedMessage(3, dropped).line, "") << dropped;
}

// Events arrive cut anywhere; their data lines are joined, fields other than data and
// events without data are passed over, and an event beyond the limit stops the stream.
TEST(EventStream, HandsOnTheDataOfEachCompleteEventHoweverTheBytesArrive) {
    const std::string stream = ": comment\r\n\r\nid: 1\ndata:\n\nevent: message\ndata: {\"a\":\r\ndata:1}\n\ndata:x\r\rdata: y\n\n";
    for (std::size_t piece : {stream.size(), std::size_t(1), std::size_t(3)}) {
        std::vector<std::string> events;
        EventStream parser(1024, [&](std::string_view data) { events.emplace_back(data); });
        for (std::size_t at = 0; at < stream.size(); at += piece) EXPECT_TRUE(parser.feed(std::string_view(stream).substr(at, piece)));
        EXPECT_EQ(events, (std::vector<std::string>{"", "{\"a\":\n1}", "x", "y"})) << piece;
    }
    EventStream small(8, [](std::string_view) {});
    EXPECT_FALSE(small.feed("data: 0123456789\n\n"));
}

TEST(IdOfALongLine, IsReadFromTheTopLevelOfWhatArrived) {
    EXPECT_EQ(idInPrefix(R"({"jsonrpc":"2.0","id":42,"params":{"pad":"xxxx)"), 42);
    EXPECT_EQ(idInPrefix(R"({"params":{"id":1,"deep":[{"id":2}]},"id":"outer","pad":"xx)"), "outer");
    EXPECT_EQ(idInPrefix(R"({"params":{"id":1,"pad":"xxxx)"), nullptr);
    EXPECT_EQ(idInPrefix(R"({"id":{"nested":1},"pad":"x)"), nullptr);
    EXPECT_EQ(idInPrefix(R"([{"id":3}, "xx)"), nullptr);
    EXPECT_EQ(idInPrefix("garbage"), nullptr);
}

}  // namespace
}  // namespace velmor::bridge
