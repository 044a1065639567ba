#include "flow_fixture.h"

using namespace velmor::test;

TEST_F(FlowStoreTest, SavingUnderOneNameAddsVersionsAndLoadGivesTheNewest) {
    Json steps = {{{"step", 1}, {"tool", "click_new"}, {"wait_ms", 300}}};
    EXPECT_EQ(saveFlow("daily", "Notes", {"click_new"}),
              (Json{{"saved_as", "daily"}, {"step_count", 1}, {"steps", steps}}));
    saveFlow("daily", "Notes", {"click_new", "type_text"});
    EXPECT_EQ(raw.text("SELECT description FROM flows WHERE version = 2"), "Flow with 2 steps (v2)");

    Json loaded = store.loadFlow("daily").value();
    EXPECT_EQ(loaded.at("version"), 2);
    EXPECT_EQ(toolsOf(loaded), (Names{"click_new", "type_text"}));
    EXPECT_EQ(raw.text("SELECT group_concat(run_count) FROM flows"), "0,1");
    EXPECT_EQ(store.listFlows().size(), 2u);
    EXPECT_EQ(store.loadFlow("weekly").error(), "flow 'weekly' not found");
}

TEST_F(FlowStoreTest, EndingWithoutANameDiscardsTheFlowAndItsSteps) {
    store.recordStep("click_early", Json::object());  // no recording yet: dropped
    EXPECT_EQ(store.endRecording("x").error(), "not recording");

    Json ended = saveFlow("", "Notes", {"click_new", "type_text"});
    EXPECT_EQ(ended.at("saved_as"), "");
    EXPECT_EQ(toolsOf(ended), (Names{"click_new", "type_text"}));
    store.beginRecording("Notes");
    store.recordStep("click_new", Json::object());
    EXPECT_EQ(store.endRecording(std::nullopt).value().at("saved_as"), "(not saved)");
    EXPECT_FALSE(store.isRecording());
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM flows") + raw.integer("SELECT COUNT(*) FROM flow_steps"), 0);
}

TEST_F(FlowStoreTest, StepsKeepWhatWasRecordedInStepOrder) {
    store.beginRecording("Browser", "org.example.browser", "https://example.org/");
    store.recordStep("fill_name", {{"value", "Ann"}, {"n", 2}}, "Form", 12, "https://example.org/f", "browser-dom:#n");
    ASSERT_TRUE(store.endRecording("form"));
    EXPECT_EQ(raw.text("SELECT args_json FROM flow_steps"), R"({"n":2,"value":"Ann"})");
    long long id = raw.integer("SELECT id FROM flows");
    // Step 3's arguments, planted in the file, nest 100,000 levels deep: read back as none.
    std::string deep = R"({"a":)" + std::string(100'000, '[') + std::string(100'000, ']') + "}";
    for (int number : {3, 2})
        raw.exec("INSERT INTO flow_steps (flow_id, step_number, tool_name, narration, args_json) VALUES (" +
                 std::to_string(id) + ", " + std::to_string(number) + ", 'tool_" + std::to_string(number) +
                 "', 'said', " + (number == 3 ? "'" + deep + "'" : "NULL") + ")");

    Json loaded = store.loadFlow("form").value();
    EXPECT_EQ(loaded.at("target_url"), "https://example.org/");
    EXPECT_EQ(loaded.at("steps"), (Json{{{"step", 1}, {"tool", "fill_name"}, {"args", {{"value", "Ann"}, {"n", 2}}},
                                         {"window_title", "Form"}, {"element_count", 12}, {"wait_ms", 300},
                                         {"page_url", "https://example.org/f"}, {"context", "browser-dom:#n"}},
                                        {{"step", 2}, {"tool", "tool_2"}, {"wait_ms", 300}, {"narration", "said"}},
                                        {{"step", 3}, {"tool", "tool_3"}, {"wait_ms", 300}, {"narration", "said"}}}));
}

TEST_F(FlowStoreTest, DeletingThreeVersionsTakesThreeCallsOldestFirst) {
    for (int i = 0; i < 3; ++i) saveFlow("triple", "Notes", {"click_a"});
    Json deleted{{"status", "deleted"}, {"name", "triple"}};
    EXPECT_EQ(store.deleteFlow("triple").value(), deleted);
    EXPECT_EQ(raw.text("SELECT group_concat(version) FROM flows"), "2,3");
    EXPECT_EQ(store.deleteFlow("triple").value(), deleted);
    EXPECT_EQ(store.deleteFlow("triple").value(), deleted);
    EXPECT_EQ(store.deleteFlow("triple").error(), "flow 'triple' not found");
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM flow_steps"), 0);
}

// A save or a delete the database refuses is reported as such, and nothing pretends it
// happened: the refused flow cannot be loaded, the undeleted one still can.
TEST_F(FlowStoreTest, SavesAndDeletesTheDatabaseRefusesAreReportedAsFailures) {
    saveFlow("kept", "Notes", {"click_a"});
    raw.exec("CREATE TRIGGER refuse_saves BEFORE UPDATE ON flows BEGIN SELECT RAISE(ABORT, 'refused'); END");
    raw.exec("CREATE TRIGGER refuse_deletes BEFORE DELETE ON flow_steps BEGIN SELECT RAISE(ABORT, 'refused'); END");

    store.beginRecording("Notes");
    store.recordStep("click_b", Json::object());
    EXPECT_EQ(store.endRecording("new").error(), "db error");
    EXPECT_FALSE(store.isRecording());
    EXPECT_EQ(store.loadFlow("new").error(), "flow 'new' not found");

    EXPECT_EQ(store.deleteFlow("kept").error(), "db error");
    EXPECT_EQ(toolsOf(store.loadFlow("kept").value()), Names{"click_a"});
}
