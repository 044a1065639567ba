// Element tools on the fixture application: each acts, waits, rescans and answers a diff;
// the flow the session records, saved at its end and replayed on a fresh application; and
// calls arriving on several threads at once, as they do over HTTP.
#include "desktop_test.h"

#include <map>
#include <mutex>
#include <thread>

namespace velmor::test {
namespace {

using nlohmann::json;

using DesktopActions = DesktopTest;

json changeOf(const json& diff, const std::string& tool) {
    for (const auto& change : diff.value("changed", json::array()))
        if (change.at("tool") == tool) return change;
    return json();
}

TEST_F(DesktopActions, EachActionAnswersTheDiffOfWhatItChanged) {
    start();
    json clicked = call("click_ok_2");
    EXPECT_TRUE(app->printed("pressed OK"));
    EXPECT_EQ(clicked.value("window_title", ""), "Velmor Fixture (OK 2)") << clicked.dump();
    EXPECT_EQ(clicked.value("diff", ""), "no changes");
    EXPECT_EQ(clicked.at("element_count"), 13);

    json filled = call("fill_search", {{"value", "héllo wörld"}});
    EXPECT_EQ(changeOf(filled, "fill_search"),
              json({{"tool", "fill_search"}, {"old_value", ""}, {"new_value", "héllo wörld"}}))
        << filled.dump();
    json toggled = call("toggle_wrap_lines");
    EXPECT_EQ(changeOf(toggled, "toggle_wrap_lines"),
              json({{"tool", "toggle_wrap_lines"}, {"old_value", "0"}, {"new_value", "1"}}))
        << toggled.dump();
    json set = call("set_volume", {{"value", 73}});
    EXPECT_EQ(changeOf(set, "set_volume"), json({{"tool", "set_volume"}, {"old_value", "25"}, {"new_value", "73"}}))
        << set.dump();
    EXPECT_EQ(changeOf(call("set_volume", {{"value", "40"}}), "set_volume").value("new_value", ""), "40");
    for (const json& args : {json::object(), json{{"value", 5}}})
        EXPECT_EQ(call("fill_search", args).value("error", ""), "missing 'value' argument") << args;
    EXPECT_EQ(call("set_volume").value("error", ""), "missing 'value' argument");

    json tab = call("select_advanced");
    EXPECT_TRUE(lists(tab, "added", "toggle_expert_mode")) << tab.dump();
    EXPECT_TRUE(lists(tab, "removed", "click_apply")) << tab.dump();
    EXPECT_EQ(changeOf(tab, "select_advanced").value("new_value", ""), "1");

    EXPECT_EQ(call("click_nothing_here").value("error", ""),
              "element 'click_nothing_here' not found. Call get_page_info to refresh.");
    json activated = call("activate_app");
    EXPECT_EQ(activated.value("diff", ""), "no changes") << activated.dump();
    EXPECT_EQ(activated.value("window_title", ""), "Velmor Fixture (OK 2)");
}

TEST_F(DesktopActions, OpeningTheDialogAddsItsButtonsBesideTheMainWindowsAndClosingRemovesThem) {
    start();
    json opened = call("click_open_dialog");
    EXPECT_TRUE(app->printed("dialog opened"));
    EXPECT_EQ(opened.value("window_title", ""), "Confirm Action") << opened.dump();
    EXPECT_TRUE(lists(opened, "added", "click_confirm") && lists(opened, "added", "click_dismiss")) << opened.dump();
    EXPECT_FALSE(opened.contains("removed")) << opened.dump();
    // The main window stays within reach while the dialog is open.
    json pressed = call("click_ok");
    EXPECT_TRUE(app->printed("pressed OK")) << pressed.dump();

    json closed = call("click_dismiss");
    EXPECT_TRUE(app->printed("dialog closed"));
    EXPECT_EQ(closed.value("window_title", ""), "Velmor Fixture (OK 1)") << closed.dump();
    EXPECT_TRUE(lists(closed, "removed", "click_confirm") && lists(closed, "removed", "click_dismiss"))
        << closed.dump();
    EXPECT_FALSE(closed.contains("added")) << closed.dump();
}

TEST_F(DesktopActions, SavedFlowHoldsTheSuccessfulStepsAndReplays) {
    EXPECT_EQ(call("session_end"), json({{"status", "ended"}, {"app", "none"}, {"flow", {{"error", "not recording"}}}}));
    start();
    call("fill_search", {{"value", "replay me"}});
    call("fill_search");         // fails: not recorded
    call("click_nothing_here");  // fails: not recorded
    call("toggle_wrap_lines");
    call("set_volume", {{"value", 60}});
    json ended = call("session_end", {{"save_as", "fixture form"}});
    EXPECT_EQ(ended.at("status"), "ended");
    EXPECT_EQ(ended.at("app"), fixtureName(*app));
    EXPECT_EQ(ended.at("flow").at("step_count"), 3) << ended.dump();
    EXPECT_EQ(ended.at("flow").at("saved_as"), "fixture form");
    EXPECT_FALSE(session.targetPid());

    json flow = call("load_flow", {{"name", "fixture form"}});
    ASSERT_EQ(flow.at("steps").size(), 3u) << flow.dump();
    EXPECT_EQ(flow.at("app_name"), fixtureName(*app));

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

TEST_F(DesktopActions, ParallelCallsKeepTheSessionConsistent) {
    start();
    constexpr int kRounds = 4;
    std::map<std::string, std::vector<json>> answers;
    std::mutex answersMutex;
    std::vector<std::thread> threads;
    for (std::string tool : {"toggle_wrap_lines", "click_ok", "get_page_info"})
        threads.emplace_back([&, tool] {
            for (int i = 0; i < kRounds; ++i) {
                json answer = call(tool);
                std::lock_guard guard(answersMutex);
                answers[tool].push_back(answer);
            }
        });
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds * 4; ++i) router.allTools();
    });
    for (auto& thread : threads) thread.join();
    for (const auto& [tool, answered] : answers)
        for (const auto& answer : answered) EXPECT_FALSE(answer.contains("error")) << tool << answer.dump();

    // Each toggle's diff starts from the value the one before left.
    std::string expectedOld = "0";
    for (const auto& answer : answers["toggle_wrap_lines"]) {
        json change = changeOf(answer, "toggle_wrap_lines");
        ASSERT_FALSE(change.is_null()) << answer.dump();
        EXPECT_EQ(change.at("old_value"), expectedOld);
        expectedOld = change.at("new_value");
    }
    EXPECT_EQ(expectedOld, "0");

    json ended = call("session_end", {{"save_as", "parallel"}});
    EXPECT_EQ(ended.at("flow").at("step_count"), 2 * kRounds) << ended.dump();
}

}  // namespace
}  // namespace velmor::test
