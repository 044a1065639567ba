#include "flow_fixture.h"

using namespace velmor::test;

TEST_F(FlowStoreTest, SearchFindsEachMatchingFlowOnceWithItsSteps) {
    saveFlow("invoice", "TextEdit", {"click_ok"});
    saveFlow("backup", "Files", {"click_save_draft", "click_save_final"});
    store.beginRecording("Browser", std::nullopt, "https://shop.example.org/");
    store.recordStep("web_action", Json::object(), std::nullopt, std::nullopt, std::nullopt, "browser-dom:#checkout");
    ASSERT_TRUE(store.endRecording("buy"));

    Json byApp = store.searchFlows("textedit");  // no step matches; ASCII case is ignored
    ASSERT_EQ(namesOf(byApp), Names{"invoice"});
    EXPECT_EQ(toolsOf(byApp[0]), Names{"click_ok"});
    EXPECT_FALSE(byApp[0].contains("id"));
    Json byTwoSteps = store.searchFlows("save");
    ASSERT_EQ(namesOf(byTwoSteps), Names{"backup"});
    EXPECT_EQ(byTwoSteps[0].at("step_count"), 2);
    EXPECT_EQ(namesOf(store.searchFlows("shop.example")), Names{"buy"});
    EXPECT_EQ(store.searchFlows("#checkout")[0].at("target_url"), "https://shop.example.org/");
}

TEST_F(FlowStoreTest, SearchTakesWildcardsAndStopsAtTen) {
    for (int i = 0; i < 12; ++i) saveFlow("a" + std::to_string(i) + "b", "Sheets", {});
    saveFlow("axyzb", "Sheets", {});
    EXPECT_EQ(namesOf(store.searchFlows("a3_")), Names{"a3b"});
    EXPECT_EQ(namesOf(store.searchFlows("x%b")), Names{"axyzb"});
    EXPECT_EQ(store.searchFlows("a%b").size(), 10u);
    EXPECT_EQ(store.listFlows().size(), 13u);
}

TEST_F(FlowStoreTest, RecordingsInProgressAreNeitherListedNorSearched) {
    store.beginRecording("Finder");
    store.recordStep("click_a", Json::object());
    store.beginRecording("Mail");  // abandons the first, whose row stays behind
    EXPECT_TRUE(store.listFlows().empty());
    EXPECT_TRUE(store.searchFlows("Finder").empty());
    EXPECT_TRUE(store.searchFlows("__recording__").empty());
    EXPECT_EQ(toolsOf(store.endRecording("mail").value()), Names{});
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM flows WHERE name = '__recording__'"), 1);
}

TEST_F(FlowStoreTest, ListingGivesSummariesAndLoadingMovesAFlowToTheTop) {
    saveFlow("older", "Notes", {"click_a", "click_b"});
    saveFlow("newer", "Mail", {});
    raw.exec("UPDATE flows SET updated_at = '2020-01-01' WHERE name = 'older'");
    raw.exec("UPDATE flows SET updated_at = '2021-01-01' WHERE name = 'newer'");
    Json listed = store.listFlows();
    ASSERT_EQ(namesOf(listed), (Names{"newer", "older"}));
    Json older = listed[1];
    older.erase("created_at");
    EXPECT_EQ(older, (Json{{"id", 1}, {"name", "older"}, {"app_name", "Notes"}, {"step_count", 2}, {"run_count", 0},
                           {"version", 1}, {"description", "Flow with 2 steps (v1)"}}));
    ASSERT_TRUE(store.loadFlow("older"));
    EXPECT_EQ(namesOf(store.listFlows()), (Names{"older", "newer"}));
}
