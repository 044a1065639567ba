// Element tools on the fixture application: each acts, waits, rescans and answers a diff.
#include "desktop_test.h"

namespace velmor::test {
namespace {

using nlohmann::json;

class DesktopActions : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(start().contains("available_tools"));
    }
};

json changeOf(const json& diff, const std::string& tool) {
    for (const auto& change : diff.value("changed", json::array())) {
        if (change.at("tool") == tool) return change;
    }
    return json();
}

TEST_F(DesktopActions, ClickPressesTheElementAndAnswersADiff) {
    json diff = call("click_ok_2");
    EXPECT_TRUE(app->printed("pressed OK"));
    EXPECT_EQ(diff.value("window_title", ""), "Velmor Fixture (OK 2)") << diff.dump();
    EXPECT_EQ(diff.value("diff", ""), "no changes");
    EXPECT_EQ(diff.at("element_count"), 13);
    EXPECT_TRUE(holdsTool(diff.at("available_tools"), "click_ok"));
}

TEST_F(DesktopActions, FillReplacesTheTextAndTheDiffListsItAsChanged) {
    json diff = call("fill_search", {{"value", "héllo wörld"}});
    EXPECT_EQ(changeOf(diff, "fill_search"),
              json({{"tool", "fill_search"}, {"old_value", ""}, {"new_value", "héllo wörld"}}))
        << diff.dump();
    EXPECT_EQ(call("fill_search").value("error", ""), "missing 'value' argument");
    EXPECT_EQ(call("fill_search", {{"value", 5}}).value("error", ""), "missing 'value' argument");
}

TEST_F(DesktopActions, ToggleAndSetChangeTheValues) {
    json toggled = call("toggle_wrap_lines");
    EXPECT_EQ(changeOf(toggled, "toggle_wrap_lines"),
              json({{"tool", "toggle_wrap_lines"}, {"old_value", "0"}, {"new_value", "1"}}))
        << toggled.dump();
    json set = call("set_volume", {{"value", 73}});
    EXPECT_EQ(changeOf(set, "set_volume"), json({{"tool", "set_volume"}, {"old_value", "25"}, {"new_value", "73"}}))
        << set.dump();
    json asText = call("set_volume", {{"value", "40"}});
    EXPECT_EQ(changeOf(asText, "set_volume").value("new_value", ""), "40") << asText.dump();
    EXPECT_EQ(call("set_volume").value("error", ""), "missing 'value' argument");
}

TEST_F(DesktopActions, OpeningTheDialogAddsItsButtonsAndClosingRemovesThem) {
    json opened = call("click_open_dialog");
    EXPECT_TRUE(app->printed("dialog opened"));
    EXPECT_EQ(opened.value("window_title", ""), "Confirm Action") << opened.dump();
    EXPECT_TRUE(holdsTool(opened.value("added", json::array()), "click_confirm")) << opened.dump();
    EXPECT_TRUE(holdsTool(opened.value("added", json::array()), "click_dismiss"));

    // The dialog's scan no longer holds the main window's tools.
    EXPECT_EQ(call("click_ok").value("error", ""), "element 'click_ok' not found. Call get_page_info to refresh.");

    json closed = call("click_dismiss");
    EXPECT_TRUE(app->printed("dialog closed"));
    EXPECT_EQ(closed.value("window_title", ""), "Velmor Fixture") << closed.dump();
    EXPECT_TRUE(holdsTool(closed.value("removed", json::array()), "click_confirm")) << closed.dump();
    EXPECT_TRUE(holdsTool(closed.value("removed", json::array()), "click_dismiss"));
    EXPECT_TRUE(holdsTool(closed.value("added", json::array()), "click_ok"));
}

TEST_F(DesktopActions, SelectingATabShowsItsPage) {
    json diff = call("select_advanced");
    EXPECT_TRUE(holdsTool(diff.value("added", json::array()), "toggle_expert_mode")) << diff.dump();
    EXPECT_TRUE(holdsTool(diff.value("removed", json::array()), "click_apply"));
    EXPECT_EQ(changeOf(diff, "select_advanced").value("new_value", ""), "1");
}

TEST_F(DesktopActions, UnknownNamesAreNotFoundAndDoNothing) {
    EXPECT_EQ(call("click_nothing_here").value("error", ""),
              "element 'click_nothing_here' not found. Call get_page_info to refresh.");
    EXPECT_EQ(call("get_page_info").value("window_title", ""), "Velmor Fixture");
}

TEST_F(DesktopActions, ActivateAppAnswersTheDiff) {
    json diff = call("activate_app");
    EXPECT_EQ(diff.value("diff", ""), "no changes") << diff.dump();
    EXPECT_EQ(diff.value("window_title", ""), "Velmor Fixture");
}

}  // namespace
}  // namespace velmor::test
