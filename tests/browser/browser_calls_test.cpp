#include "browser/listener_fixture.h"
#include "base/call_context.h"
#include "tools/registry_tool_family.h"

#include <future>
#include <regex>

namespace velmor::browser {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// Calls go through the family the dispatcher uses; a test client plays the page.
class BrowserToolCalls : public ListenerTest {
protected:
    std::future<json> call(const std::string& name, json args = json::object()) {
        return std::async(std::launch::async,
                          [this, name, args] { return tools::RegistryToolFamily(*sessions).callBrowserTool(name, args); });
    }
};

TEST_F(BrowserToolCalls, AResultJoinsItsTextsAndPassesTheContentThrough) {
    auto client = readyPage({"lookup"});
    auto answer = call("lookup", {{"q", "x"}});
    auto request = client->nextJson();
    ASSERT_TRUE(request);
    std::string callId = (*request)["callId"];
    EXPECT_TRUE(std::regex_match(callId, std::regex("call_[0-9A-F]{8}"))) << callId;
    EXPECT_EQ(*request, json({{"type", "tool_call"}, {"callId", callId}, {"name", "lookup"}, {"args", {{"q", "x"}}}}));

    json content = {{{"type", "text"}, {"text", "one"}}, {{"type", "image"}, {"data", "AA=="}},
                    {{"type", "text"}, {"text", "two"}}};
    client->send(json{{"type", "tool_result"}, {"callId", callId}, {"result", {{"content", content}}}});
    EXPECT_EQ(answer.get(), json({{"text", "one\ntwo"}, {"content", content}}));

    answer = call("lookup");
    callId = client->nextJson().value()["callId"];
    client->send(json{{"type", "tool_result"}, {"callId", callId}, {"result", {{"content", json::array()}}}});
    EXPECT_EQ(answer.get(), json({{"text", ""}, {"content", json::array()}}));
}

TEST_F(BrowserToolCalls, APageThatIsNotReadyAnswersThoughUnlistedAndItsErrorsAreErrorResults) {
    auto client = page();
    client->send(json{{"type", "register_tool"}, {"tool", {{"name", "early"}, {"description", "d"}}}});
    handled(*client);
    EXPECT_TRUE(tools::RegistryToolFamily(*sessions).hasTool("early"));
    EXPECT_TRUE(listedNames().empty());
    auto answer = call("early");
    std::string callId = client->nextJson().value()["callId"];
    client->send(json{{"type", "tool_result"}, {"callId", callId}, {"result", {{"content", {{{"text", "ok"}}}}}}});
    EXPECT_EQ(answer.get()["text"], "ok");

    answer = call("early");
    callId = client->nextJson().value()["callId"];
    client->send(json{{"type", "tool_error"}, {"callId", callId}, {"error", "element vanished"}});
    EXPECT_EQ(answer.get(), json({{"error", "element vanished"}}));

    EXPECT_EQ(call("nowhere").get(), json({{"error", "tool 'nowhere' not found in any browser session"}}));
    EXPECT_EQ(client->next(50ms), std::nullopt) << "an unknown tool sends nothing";
}

TEST_F(BrowserToolCalls, MalformedAnswersAreIgnoredAndTheCallTimesOut) {
    startListener({.toolCall = 300ms});
    auto client = readyPage({"slow"});
    auto answer = call("slow");
    std::string callId = client->nextJson().value()["callId"];
    client->send(json{{"type", "tool_result"}, {"callId", callId}, {"result", {{"content", "text"}}}});
    client->send(json{{"type", "tool_result"}, {"callId", callId}, {"result", {{"content", {"text"}}}}});
    client->send(json{{"type", "tool_result"}, {"result", {{"content", json::array()}}}});
    client->send(json{{"type", "tool_error"}, {"callId", callId}});
    EXPECT_EQ(answer.get(), json({{"error", "tool call 'slow' timed out after 0.3s"}}));

    // The late answer finds nobody waiting and cannot leak into the next call.
    client->send(json{{"type", "tool_result"}, {"callId", callId}, {"result", {{"content", {{{"text", "late"}}}}}}});
    answer = call("slow");
    std::string nextId = client->nextJson().value()["callId"];
    client->send(json{{"type", "tool_result"}, {"callId", nextId}, {"result", {{"content", {{{"text", "fresh"}}}}}}});
    EXPECT_EQ(answer.get()["text"], "fresh");
}

TEST_F(BrowserToolCalls, AWaitingCallHoldsUpNoOtherPageAndEndsWhenCancelledOrItsSessionCloses) {
    startListener({.toolCall = 60s});
    auto client = readyPage({"stuck"});

    // Its client gave up: the call stops waiting, and the page's late answer reaches nobody.
    auto givenUp = std::make_shared<CallContext>();
    auto cancelled = std::async(std::launch::async, [this, givenUp] {
        CallScope scope(givenUp);
        return tools::RegistryToolFamily(*sessions).callBrowserTool("stuck", json::object());
    });
    std::string cancelledId = client->nextJson().value()["callId"];
    givenUp->cancel();
    ASSERT_EQ(cancelled.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(cancelled.get(), json({{"error", "the call was cancelled"}}));
    client->send(json{{"type", "tool_result"}, {"callId", cancelledId}, {"result", {{"content", {{{"text", "late"}}}}}}});

    auto answer = call("stuck");
    ASSERT_TRUE(client->nextJson());
    // The I/O thread goes on reading while the calls wait for their page.
    auto other = readyPage({"other"});
    EXPECT_EQ(listedNames().size(), 2u);
    client.reset();
    EXPECT_EQ(answer.get(), json({{"error", "browser session closed"}}));
}

}  // namespace
}  // namespace velmor::browser
