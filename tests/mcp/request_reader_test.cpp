#include "mcp/request_reader.h"

#include <gtest/gtest.h>
#include <vector>

namespace velmor::mcp {
namespace {

using State = RequestReader::State;

// Feeds bytes as the connection does, going on to the body once the headers are in.
State feed(RequestReader& reader, const std::string& bytes) {
    State state = reader.append(bytes.data(), bytes.size());
    return state == State::HeadersComplete ? reader.continueWithBody() : state;
}

// The headers' end may be split across reads; the body is awaited up to its announced
// length (none without one), and what arrives beyond it is taken whole.
TEST(RequestFraming, ARequestEndsWhereItsHeadersSayWhateverTheReads) {
    RequestReader reader(1 << 20);
    EXPECT_EQ(feed(reader, "POST /mcp HTTP/1.1\r\nContent-Length: 10\r"), State::NeedMore);
    EXPECT_EQ(feed(reader, "\n\r"), State::NeedMore);
    EXPECT_EQ(feed(reader, "\n01234"), State::NeedMore);
    EXPECT_EQ(feed(reader, "56789"), State::Complete);

    RequestReader unannounced(1 << 20);
    EXPECT_EQ(feed(unannounced, "POST /mcp HTTP/1.1\r\nHost: x\r\n"), State::NeedMore);
    EXPECT_EQ(feed(unannounced, "\r\n{\"partial"), State::Complete);
    EXPECT_EQ(unannounced.request(), "POST /mcp HTTP/1.1\r\nHost: x\r\n\r\n{\"partial");

    RequestReader longer(1 << 20);
    EXPECT_EQ(feed(longer, "POST /mcp HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}extra"), State::Complete);
    EXPECT_TRUE(longer.request().ends_with("{}extra"));
}

TEST(RequestFraming, ContentLengthIsReadInAnyLetterCaseAndOddValuesCountAsZero) {
    EXPECT_EQ(announcedContentLength("post /mcp\r\ncontent-length: \t42 \r\nx: y"), 42);
    EXPECT_EQ(announcedContentLength("post /mcp\r\ncontent-length: abc"), 0);
    EXPECT_EQ(announcedContentLength("post /mcp\r\ncontent-length: 12abc"), 0);
    EXPECT_EQ(announcedContentLength("post /mcp\r\ncontent-length: 99999999999999999999999"), 0);
    EXPECT_EQ(announcedContentLength("post /mcp\r\nhost: x"), std::nullopt);
    EXPECT_EQ(announcedContentLength("post /mcp\r\ncontent-length: 3\r\ncontent-length: 9"), 3);

    RequestReader reader(1 << 20);
    EXPECT_EQ(feed(reader, "POST /mcp HTTP/1.1\r\nCONTENT-LENGTH: 4\r\n\r\n{}"), State::NeedMore);
    RequestReader nonNumeric(1 << 20);
    EXPECT_EQ(feed(nonNumeric, "POST /mcp HTTP/1.1\r\nContent-Length: lots\r\n\r\n"), State::Complete);
}

// A character split across reads is awaited, but not past the announced length.
TEST(RequestFraming, InvalidUtf8EndsTheRequest) {
    std::string snowman = "\xe2\x98\x83";
    for (const std::string& bad : std::vector<std::string>{"POST /mcp HTTP/1.1\r\n\xff\r\n\r\n",
                                                         "POST /mcp\r\nContent-Length: 9\r\n\r\n\xc0\xaf",
                                                         "POST /mcp\r\nContent-Length: 9\r\n\r\n\xed\xa0\x80",
                                                         "POST /mcp\r\nContent-Length: 1\r\n\r\n" + snowman.substr(0, 2)}) {
        RequestReader reader(1 << 20);
        EXPECT_EQ(feed(reader, bad), State::NotUtf8) << bad;
    }
    RequestReader reader(1 << 20);
    EXPECT_EQ(feed(reader, "POST /mcp\r\nContent-Length: 3\r\n\r\n" + snowman.substr(0, 1)), State::NeedMore);
    EXPECT_EQ(feed(reader, snowman.substr(1)), State::Complete);
}

TEST(RequestFraming, StopsAtTheEndOfTheHeadersBeforeKeepingAnyBody) {
    RequestReader reader(1 << 20);
    std::string head = "POST /mcp HTTP/1.1\r\nContent-Length: 5000\r\n\r\n";
    EXPECT_EQ(reader.append(head.data(), head.size()), State::HeadersComplete);
    EXPECT_EQ(reader.headerBlock(), "POST /mcp HTTP/1.1\r\nContent-Length: 5000");
    EXPECT_EQ(reader.continueWithBody(), State::NeedMore);
}

TEST(RequestFraming, HeaderBlocksAbove16KiBAreRefusedWithOrWithoutTheirEnd) {
    std::string filler = "X-Filler: " + std::string(17 * 1024, 'a') + "\r\n";
    RequestReader unfinished(1 << 20);
    EXPECT_EQ(feed(unfinished, "POST /mcp HTTP/1.1\r\n" + filler), State::HeadersTooLarge);
    RequestReader finished(1 << 20);
    EXPECT_EQ(feed(finished, "POST /mcp HTTP/1.1\r\n" + filler + "\r\n{}"), State::HeadersTooLarge);
    RequestReader justFits(1 << 20);
    std::string head = "POST /mcp HTTP/1.1\r\nX: ";
    head += std::string(kMaxHeaderBytes - head.size(), 'b');
    EXPECT_EQ(feed(justFits, head + "\r\n\r\n"), State::Complete);
}

TEST(RequestFraming, RequestsAboveTheLimitAreRefused) {
    RequestReader reader(100);
    EXPECT_EQ(feed(reader, "POST /mcp HTTP/1.1\r\n"), State::NeedMore);
    EXPECT_EQ(feed(reader, std::string(90, 'x')), State::TooLarge);

    RequestReader announced(100);
    EXPECT_EQ(feed(announced, "POST /mcp\r\nContent-Length: 5000\r\n\r\n"), State::TooLarge);
}

}  // namespace
}  // namespace velmor::mcp
