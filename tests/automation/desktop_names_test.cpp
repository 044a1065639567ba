// Element tool names on the virtual desktop, for widgets whose names GTK and Qt hand over raw: what
// the agent gets is what a person reading the window would call each control, and a combo
// box keeps its name whatever is chosen in it.
#include "desktop_test.h"
#include "fixtures/desktop_listing.h"

namespace velmor::test {
namespace {

using nlohmann::json;

class RawWidgetNames : public DesktopTest {
protected:
    RawWidgetNames() : DesktopTest({"--names"}) {}

    std::map<std::string, std::string> titlesByTool(const json& state) {
        std::map<std::string, std::string> titles;
        for (const auto& element : state["interactive_elements"]) titles[element["tool"]] = element["title"];
        return titles;
    }
};

TEST_F(RawWidgetNames, ReadAsAPersonWouldSayThem) {
    json state = start();
    ASSERT_FALSE(state.contains("error")) << state.dump().substr(0, 2000);
    auto titles = titlesByTool(state);
    std::map<std::string, std::string> expected = {
        {"click_add_alarm", "Add Alarm"},
        {"click_export", "Export"},
        {"click_calculate_show_number", "Calculate & show number"},
        {"click_plus_minus", "+/−"},
        {"toggle_keep_snake_case_names", "Keep snake_case_names"},
        {"open_country", "Country:"},
        {"open_combo_box", "combo box"},
        {"open_theme", "Theme:"},
        {"fill_city", "City:"},
        {"click_button", "button"},
    };
    for (const auto& [tool, title] : expected) EXPECT_EQ(titles[tool], title) << tool << " in " << state["available_tools"].dump();
    for (const auto& [tool, title] : titles) {
        EXPECT_FALSE(tool.ends_with("_")) << tool;
        EXPECT_EQ(title.find('<'), std::string::npos) << tool << ": " << title;
    }

    // The nameless button is the one pressed.
    json pressed = call("click_button");
    EXPECT_FALSE(pressed.contains("error")) << pressed.dump();
    EXPECT_TRUE(app->printed("pressed unnamed"));

    // Another choice in each combo box leaves the tools as they were.
    app->send("choose");
    ASSERT_TRUE(app->printed("chosen"));
    EXPECT_EQ(valueIn(state, "open_country"), "Norway");
    json after = call("get_page_info");
    auto titlesAfter = titlesByTool(after);
    for (const char* tool : {"open_country", "open_combo_box"})
        EXPECT_EQ(titlesAfter[tool], titles[tool]) << tool << " in " << after["available_tools"].dump();
    EXPECT_EQ(valueIn(after, "open_country"), "Peru") << "the choice is the value";
}

// Qt names a combo box nobody named by its current choice, and reads a button's mnemonic
// itself: "R&&D" reaches the bus as "R&D", which is no mnemonic to remove again.
class QtWidgetNames : public DesktopSessionTest {};

TEST_F(QtWidgetNames, ReadAsAPersonWouldSayThem) {
    Program form({VELMOR_QT5_NAMES}, {{"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}});
    ASSERT_TRUE(form.printed("ready", 20000) && listedOnTheDesktopWithin(form.id(), 20000)) << whyNotListed(form.id());
    json state = call("session_start", {{"app_name", "velmor-qt-names-" + std::to_string(form.id())}});
    ASSERT_FALSE(state.contains("error")) << state.dump().substr(0, 2000);
    std::map<std::string, std::string> titles;
    for (const auto& element : state["interactive_elements"]) titles[element["tool"]] = element["title"];
    std::map<std::string, std::string> expected = {
        {"open_country", "Country:"}, {"open_combo_box", "combo box"}, {"click_r_d", "R&D"}, {"click_exit", "Exit"}};
    for (const auto& [tool, title] : expected) EXPECT_EQ(titles[tool], title) << tool << " in " << state["available_tools"].dump();

    form.send("choose");
    ASSERT_TRUE(form.printed("chosen"));
    EXPECT_EQ(valueIn(state, "open_country"), "Norway");
    json after = call("get_page_info");
    for (const char* tool : {"open_country", "open_combo_box"})
        EXPECT_NE(toolStartingWith(after, tool), "") << tool << " in " << after["available_tools"].dump();
    EXPECT_EQ(valueIn(after, "open_country"), "Peru");
    form.kill();
}

}  // namespace
}  // namespace velmor::test
