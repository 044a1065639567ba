#include "browser/listener_fixture.h"
#include "browser/log_tail.h"
#include "tools/registry_tool_family.h"

#include <algorithm>

namespace velmor::browser {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

using BrowserSessions = ListenerTest;

TEST_F(BrowserSessions, ListsEveryReadyToolOnceAsThePagesHaveItNow) {
    auto first = readyPage({"alpha", "shared", "get_page_info", "session_start", "session_end"});
    auto second = readyPage({"shared", "beta"});
    auto sortedNames = [this] {
        auto names = listedNames();
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(sortedNames(), (std::vector<std::string>{"alpha", "beta", "shared"}))
        << "a page never takes the name of the application's tools";

    // A ready page that scans again is listed as it is now.
    first->send(json{{"type", "unregister_tool"}, {"name", "alpha"}});
    first->send(json{{"type", "register_tool"}, {"tool", {{"name", "delta"}, {"description", "d"}}}});
    handled(*first);
    EXPECT_EQ(sortedNames(), (std::vector<std::string>{"beta", "delta", "shared"}));
}

// What the bridge sees: one push per "tools_ready", one when a session with tools goes.
TEST_F(BrowserSessions, SubscribersArePushedOncePerChange) {
    test::LogTail log;
    auto bridge = this->bridge();
    bridge->send(json{{"type", "subscribe_tools_changed"}, {"token", kToken}});
    handled(*bridge);
    EXPECT_EQ(log.containing("[browser] Tool change subscriber added (total: ").size(), 1u)
        << "one subscription per connection";

    auto expectPushes = [&](int count) {
        for (int i = 0; i < count; ++i) EXPECT_EQ(bridge->next(), R"({"type":"tools_changed"})");
        EXPECT_EQ(bridge->next(50ms), std::nullopt);
    };
    auto rescanning = readyPage({"one"});
    rescanning->send(json{{"type", "unregister_tool"}, {"name", "one"}});
    rescanning->send(json{{"type", "register_tool"}, {"tool", {{"name", "two"}, {"description", "d"}}}});
    rescanning->send(json{{"type", "tools_ready"}, {"tools", {"two"}}});
    handled(*rescanning);
    expectPushes(2);

    rescanning.reset();
    expectPushes(1);

    auto toolless = page();
    std::string id = toolless->sessionId();
    toolless.reset();
    ASSERT_TRUE(test::eventually([&] { return !sessions->agents().session(id); }));
    expectPushes(0);

    sessions->agents().markReady("no-such-session");
    expectPushes(1);
}

TEST_F(BrowserSessions, WebToolsAreReplacedByNameAndClearedTogether) {
    json fillSchema = {{"type", "object"}, {"properties", {{"value", {{"type", "string"}}}}}, {"required", {"value"}}};
    sessions->webTools().replace({{"fill_email", "old", "#old", "fill", fillSchema, std::nullopt},
                                  {"fill_email", "Email", "#email", "fill", fillSchema, "example.test/login"},
                                  {"click_go", "Go", "button.go", "click", {{"type", "object"}}, std::nullopt}});
    EXPECT_EQ(sessions->webTools().listing(),
              json({{{"name", "click_go"}, {"description", "Go"}, {"inputSchema", {{"type", "object"}}},
                     {"defer_loading", true}},
                    {{"name", "fill_email"}, {"description", "Email"}, {"inputSchema", fillSchema},
                     {"defer_loading", true}}}));
    auto target = tools::RegistryToolFamily(*sessions).getWebTool("fill_email");
    ASSERT_TRUE(target);
    EXPECT_EQ(target->selector, "#email");
    EXPECT_EQ(target->urlPattern, "example.test/login");

    sessions->webTools().replace({});
    EXPECT_TRUE(sessions->webTools().listing().empty());
    EXPECT_FALSE(sessions->webTools().get("click_go"));
}

}  // namespace
}  // namespace velmor::browser
