// The flow a session records, saved at its end and replayed on a fresh application.
#include "desktop_test.h"

namespace velmor::test {
namespace {

using nlohmann::json;

class DesktopFlow : public DesktopTest {};

TEST_F(DesktopFlow, EndingWithoutASessionIsNotAnError) {
    EXPECT_EQ(call("session_end"),
              json({{"status", "ended"}, {"app", "none"}, {"flow", {{"error", "not recording"}}}}));
}

TEST_F(DesktopFlow, SavedFlowHoldsTheSuccessfulStepsAndReplays) {
    start();
    call("fill_search", {{"value", "replay me"}});
    call("fill_search");          // fails: not recorded
    call("click_nothing_here");   // fails: not recorded
    call("toggle_wrap_lines");
    call("set_volume", {{"value", 60}});
    json ended = call("session_end", {{"save_as", "fixture form"}});
    EXPECT_EQ(ended.at("status"), "ended");
    EXPECT_EQ(ended.at("app"), app->name());
    EXPECT_EQ(ended.at("flow").at("step_count"), 3) << ended.dump();
    EXPECT_EQ(ended.at("flow").at("saved_as"), "fixture form");
    EXPECT_FALSE(session.targetPid());

    json flow = call("load_flow", {{"name", "fixture form"}});
    ASSERT_EQ(flow.at("steps").size(), 3u) << flow.dump();
    EXPECT_EQ(flow.at("app_name"), app->name());

    restartApp();
    start();
    for (const auto& step : flow.at("steps")) {
        json answer = call(step.at("tool"), step.value("args", json::object()));
        EXPECT_FALSE(answer.contains("error")) << step.dump() << " -> " << answer.dump();
    }
    json state = call("get_page_info");
    EXPECT_EQ(valueIn(state, "fill_search"), "replay me");
    EXPECT_EQ(valueIn(state, "toggle_wrap_lines"), "1");
    EXPECT_EQ(valueIn(state, "set_volume"), "60");
}

}  // namespace
}  // namespace velmor::test
