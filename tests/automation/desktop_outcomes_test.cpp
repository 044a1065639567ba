// Answers that match what happened: a list of a thousand rows offers the rows in view, and
// a row that has been scrolled out of view is brought back into it, pressed and read back as
// selected; an application that ends on a press answers that it ended, with its exit status,
// and the session ends with it. The fixture reports its selection and the test reads it
// through an accessibility connection of its own and collects the exit status itself.
#include "desktop_test.h"

#include "atspi_probe.h"

namespace velmor::test {
namespace {

using nlohmann::json;

class ListAndForm : public DesktopTest {
protected:
    ListAndForm() : DesktopTest({"--list"}) {}

    // Scrolls the fixture's list to "top" or "bottom" behind Velmor's back.
    void scrollList(const std::string& end) {
        app->send(end);
        ASSERT_TRUE(app->printed("at " + end));
    }

    AtspiProbe probe;
};

TEST_F(ListAndForm, RowsOutOfViewAreScrolledBackPressedAndReadBackAsSelected) {
    ASSERT_TRUE(probe.connected());
    json state = start();
    ASSERT_EQ(toolStartingWith(state, "click_row_3"), "click_row_3") << state.dump().substr(0, 2000);

    // Row 3 was scanned in view; the list has moved on since.
    scrollList("bottom");
    json upward = call("click_row_3");
    ASSERT_FALSE(upward.contains("error")) << upward.dump().substr(0, 2000);
    EXPECT_TRUE(app->printed("selected Row 3"));
    EXPECT_EQ(upward.value("selected", ""), "Row 3");
    EXPECT_EQ(upward.value("scrolled_into_view", false), true);
    EXPECT_EQ(probe.selectedOf(app->id()), std::vector<std::string>({"Row 3"}));

    // The list's end, 1,000 rows down, is offered once it is in view; its start no more.
    scrollList("bottom");
    json atBottom = call("get_page_info");
    ASSERT_EQ(toolStartingWith(atBottom, "click_row_1000"), "click_row_1000") << atBottom.dump().substr(0, 2000);
    EXPECT_EQ(toolStartingWith(atBottom, "click_row_3"), "") << atBottom.dump().substr(0, 2000);
    scrollList("top");
    json downward = call("click_row_1000");
    ASSERT_FALSE(downward.contains("error")) << downward.dump().substr(0, 2000);
    EXPECT_TRUE(app->printed("selected Row 1000"));
    EXPECT_EQ(downward.value("selected", ""), "Row 1000");
    EXPECT_EQ(probe.selectedOf(app->id()), std::vector<std::string>({"Row 1000"}));

    // A row in view is pressed where it is.
    json inView = call("click_row_1000");
    ASSERT_FALSE(inView.contains("error")) << inView.dump().substr(0, 2000);
    EXPECT_EQ(inView.value("selected", ""), "Row 1000");
    EXPECT_FALSE(inView.contains("scrolled_into_view")) << inView.dump().substr(0, 2000);
}

TEST_F(ListAndForm, ApplicationThatEndsOnThePressAnswersItsEndAndEndsTheSession) {
    json state = start();
    call("click_row_2");
    const std::string name = fixtureName(*app);
    json done = call("click_done");
    EXPECT_TRUE(app->printed("pressed Done"));
    EXPECT_FALSE(done.contains("error")) << done.dump();
    EXPECT_EQ(done.value("status", ""), "performed");
    EXPECT_EQ(done.value("tool", ""), "click_done");
    EXPECT_EQ(done.value("app_ended", ""), name);
    EXPECT_EQ(done.value("session", ""), "ended");
    EXPECT_EQ(done.value("exit_status", -1), 7) << done.dump();
    EXPECT_NE(done.value("message", "").find(name + " ended with exit status 7"), std::string::npos) << done.dump();
    EXPECT_EQ(app->wait(), 7) << "the status Velmor read is the one the application's parent collects";

    EXPECT_FALSE(session.targetPid());
    EXPECT_EQ(call("click_done"), json({{"error", "no active session"}}));
    EXPECT_EQ(call("get_page_info"), json({{"error", "no active session. Call session_start first."}}));
    // The steps up to the end are kept for session_end to save.
    json ended = call("session_end", {{"save_as", "submitted"}});
    EXPECT_EQ(ended.value("app", ""), "none");
    EXPECT_EQ(ended.at("flow").value("step_count", 0), 2) << ended.dump();
    json flow = call("load_flow", {{"name", "submitted"}});
    ASSERT_EQ(flow.at("steps").size(), 2u) << flow.dump();
    EXPECT_EQ(flow.at("steps").at(1).at("tool"), "click_done");
}

}  // namespace
}  // namespace velmor::test
