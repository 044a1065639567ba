#include "base/call_context.h"
#include "base/child_run.h"
#include "mcp/cancellable_calls.h"
#include "mcp/json_rpc.h"
#include "support/eventually.h"
#include "tools/tool_router.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <signal.h>
#include <vector>

namespace velmor::mcp {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

// A hang guard only: a call that is not stopped would keep the test waiting for minutes.
constexpr auto kGuard = 20s;

std::string toolCall(const json& id, const std::string& tool, json params = json::object()) {
    params["name"] = tool;
    params["arguments"] = json::object();
    return json({{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"}, {"params", params}}).dump();
}

std::string cancellation(const json& requestId) {
    return json({{"jsonrpc", "2.0"},
                 {"method", "notifications/cancelled"},
                 {"params", {{"requestId", requestId}, {"reason", "the user gave up"}}}})
        .dump();
}

class CallCancellation : public ::testing::Test {
protected:
    CallCancellation() {
        // "speak" stands for any long tool: it waits as tools do, then says how it ended.
        router.registry().handle("speak", [](const Arguments&) {
            bool finished = currentCall().waitFor(10min);
            return json{{"finished", finished}};
        });
    }

    std::future<std::optional<std::string>> start(const std::string& session, const json& id) {
        auto call = std::async(std::launch::async, [this, session, id] {
            return handleRequest(router, toolCall(id, "speak"), RequestChannel{session, {}});
        });
        return call;
    }
    void cancel(const std::string& session, const json& id) {
        EXPECT_FALSE(handleRequest(router, cancellation(id), RequestChannel{session, {}}));
    }
    static bool ended(std::future<std::optional<std::string>>& call, std::chrono::milliseconds within = 300ms) {
        return call.wait_for(within) == std::future_status::ready;
    }

    tools::ToolRouter router;
};

// A cancellation stops exactly the call it names, in the session it came from, and that call
// is not answered; an id of another type, another session's call or an unknown id stay as
// they are, and the listing of running calls empties as they end.
TEST_F(CallCancellation, StopsOnlyTheNamedCallOfTheSameSessionAndLeavesItUnanswered) {
    auto mine = start("session-a", 7);
    auto sameIdElsewhere = start("session-b", 7);
    auto sameDigitsAsText = start("session-a", "7");
    ASSERT_TRUE(test::eventually([] { return inFlightCalls().size() == 3; }));

    cancel("session-b", 8);
    cancel("session-c", 7);
    handleRequest(router, R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{}})");
    handleRequest(router, R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":{"id":7}}})");
    EXPECT_FALSE(ended(mine));
    EXPECT_FALSE(ended(sameIdElsewhere, 0ms));
    EXPECT_FALSE(ended(sameDigitsAsText, 0ms));

    cancel("session-a", 7);
    ASSERT_TRUE(ended(mine, kGuard));
    EXPECT_EQ(mine.get(), std::nullopt) << "a cancelled call gets no answer";
    EXPECT_FALSE(ended(sameIdElsewhere));
    EXPECT_FALSE(ended(sameDigitsAsText, 0ms));
    EXPECT_EQ(inFlightCalls().size(), 2u);

    cancel("session-b", 7);
    cancel("session-a", "7");
    ASSERT_TRUE(ended(sameIdElsewhere, kGuard));
    ASSERT_TRUE(ended(sameDigitsAsText, kGuard));
    EXPECT_EQ(sameIdElsewhere.get(), std::nullopt);
    EXPECT_EQ(sameDigitsAsText.get(), std::nullopt);
    EXPECT_EQ(inFlightCalls().size(), 0u);

    // A cancellation for a call that has ended changes nothing for the next call with its id.
    router.registry().handle("speak", [](const Arguments&) { return json{{"finished", true}}; });
    auto answer = handleRequest(router, toolCall(7, "speak"), RequestChannel{"session-a", {}});
    ASSERT_TRUE(answer);
    EXPECT_EQ(json::parse(*answer)["result"]["content"][0]["text"], R"({"finished":true})");
}

// Children a call runs end with its cancellation, and what a call hands to another thread
// sees it too; outside any call nothing is ever cancelled.
TEST(CallContextTest, ACancelledCallsChildrenAndHelperThreadsStop) {
    EXPECT_FALSE(currentCall().cancelled());
    EXPECT_TRUE(currentCall().waitFor(1ms)) << "outside a call a wait runs its course";

    auto context = std::make_shared<CallContext>();
    std::atomic<pid_t> childPid{0};
    auto child = std::async(std::launch::async, [&] {
        CallScope scope(context);
        return runChild({"sleep", "600"}, {}, std::nullopt, [&](pid_t pid) { childPid = pid; });
    });
    auto helper = std::async(std::launch::async, [shared = [&] {
                                 CallScope scope(context);
                                 return shareCurrentCall();
                             }()] {
        CallScope scope(shared);
        return currentCall().waitFor(10min);
    });
    ASSERT_TRUE(test::eventually([&] { return childPid != 0; }));
    int hookRuns = 0;
    { auto dropped = context->onCancel([&] { ++hookRuns; }); }
    auto kept = context->onCancel([&] { ++hookRuns; });

    context->cancel();
    context->cancel();
    ASSERT_EQ(child.wait_for(kGuard), std::future_status::ready);
    ChildOutcome outcome = child.get();
    EXPECT_TRUE(outcome.started);
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.status, -1) << "a signal ended it";
    EXPECT_NE(::kill(childPid, 0), 0) << "the child process is gone";
    ASSERT_EQ(helper.wait_for(kGuard), std::future_status::ready);
    EXPECT_FALSE(helper.get()) << "the helper thread's wait ended with the cancellation";
    EXPECT_EQ(hookRuns, 1) << "only the hook still held runs, and once";
    int late = 0;
    auto afterwards = context->onCancel([&] { ++late; });
    EXPECT_EQ(late, 1) << "a hook added to a cancelled call runs at once";
}

// Progress reaches the client as notifications/progress with its token, increasing, the
// first and last report at least; without a token or a way to notify, nothing is sent.
TEST(CallProgress, ReportsGoOutOnlyWithAProgressTokenAndAChannel) {
    tools::ToolRouter router;
    router.registry().handle("prefetch_audio", [](const Arguments&) {
        for (int done = 0; done <= 4; ++done) currentCall().progress(done, 4, std::to_string(done) + " of 4");
        currentCall().progress(2, 4, "a step back is never reported");
        return json{{"status", "prefetched"}};
    });
    std::vector<std::string> sent;
    RequestChannel channel{"s", [&sent](const std::string& notification) { sent.push_back(notification); }};
    json withToken = {{"_meta", {{"progressToken", "tok-1"}}}};

    auto answer = handleRequest(router, toolCall(1, "prefetch_audio", withToken), channel);
    ASSERT_TRUE(answer);
    EXPECT_EQ(json::parse(*answer)["id"], 1);
    ASSERT_GE(sent.size(), 2u);
    double last = -1;
    for (const auto& text : sent) {
        json notification = json::parse(text);
        EXPECT_EQ(notification["jsonrpc"], "2.0");
        EXPECT_EQ(notification["method"], "notifications/progress");
        EXPECT_FALSE(notification.contains("id"));
        const json& params = notification["params"];
        EXPECT_EQ(params["progressToken"], "tok-1");
        EXPECT_EQ(params["total"], 4);
        EXPECT_GT(params["progress"].get<double>(), last);
        last = params["progress"].get<double>();
    }
    EXPECT_EQ(json::parse(sent.front())["params"]["progress"], 0);
    EXPECT_EQ(json::parse(sent.back())["params"], json({{"progressToken", "tok-1"}, {"progress", 4}, {"total", 4},
                                                       {"message", "4 of 4"}}));

    sent.clear();
    ASSERT_TRUE(handleRequest(router, toolCall(2, "prefetch_audio"), channel));
    ASSERT_TRUE(handleRequest(router, toolCall(3, "prefetch_audio", {{"_meta", {{"progressToken", 9}}}}), {}));
    ASSERT_TRUE(handleRequest(router, toolCall(4, "prefetch_audio", {{"_meta", {{"progressToken", 1.5}}}}), channel));
    EXPECT_TRUE(sent.empty());
    ASSERT_TRUE(handleRequest(router, toolCall(5, "prefetch_audio", {{"_meta", {{"progressToken", 9}}}}), channel));
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(json::parse(sent.front())["params"]["progressToken"], 9);
}

}  // namespace
}  // namespace velmor::mcp
