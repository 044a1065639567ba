// Clicks, scrolling and drags reaching the fixture through synthesised pointer events, at
// coordinates relative to the target's window.
#include "input_desktop_test.h"

#include <string>

namespace velmor::test {
namespace {

using nlohmann::json;

class DesktopPointer : public InputDesktopTest {};

int valueAfter(const std::optional<std::string>& line) {
    if (!line) return -1;
    return std::stoi(line->substr(line->rfind(' ') + 1));
}

// Scrolling and sliding animate: the value where the widget came to rest.
int settledValue(InputFixtureApp& app, const std::string& prefix) {
    int last = -1;
    while (auto line = app.nextStartingWith(prefix, 700)) last = valueAfter(line);
    return last;
}

TEST_F(DesktopPointer, TwoClicksMakeADoubleClickAndTheRightButtonIsItsOwn) {
    start();
    platform::Frame pad = where("pad");
    json answer = call("click_at", {{"x", pad.x + pad.width / 2}, {"y", pad.y + pad.height / 2}, {"clicks", 2}});
    EXPECT_EQ(answer, json({{"status", "clicked"},
                            {"x", pad.x + pad.width / 2},
                            {"y", pad.y + pad.height / 2},
                            {"button", "left"},
                            {"clicks", 2}}));
    EXPECT_TRUE(app->printed("double click"));

    call("click_at", {{"x", pad.x + 5}, {"y", pad.y + 5}, {"button", "right"}});
    EXPECT_EQ(app->nextStartingWith(""), "right click");
}

TEST_F(DesktopPointer, ScrollMovesTheListOnBothAxes) {
    start();
    platform::Frame list = where("list");
    EXPECT_EQ(call("mouse_move", {{"x", list.x + list.width / 2}, {"y", list.y + list.height / 2}}),
              json({{"status", "moved"}, {"x", list.x + list.width / 2}, {"y", list.y + list.height / 2}}));
    // Positive amounts scroll down and right, as the tool's description tells the agent.
    EXPECT_EQ(call("scroll", {{"delta_y", 60}}), json({{"status", "scrolled"}, {"delta_y", 60}, {"delta_x", 0}}));
    EXPECT_GT(settledValue(*app, "scrolled "), 0);
    call("scroll", {{"delta_y", 0}, {"delta_x", 60}});
    EXPECT_GT(settledValue(*app, "hscrolled "), 0);
    call("scroll", {{"delta_y", -200}});
    EXPECT_EQ(settledValue(*app, "scrolled "), 0);
}

TEST_F(DesktopPointer, DragMovesTheSliderAcrossItsTrack) {
    start();
    platform::Frame slider = where("slider");
    int y = slider.y + slider.height / 2;
    json answer = call("drag", {{"from_x", slider.x + 8}, {"from_y", y}, {"to_x", slider.x + slider.width - 4},
                                {"to_y", y}, {"duration", 0.2}});
    EXPECT_EQ(answer, json({{"status", "dragged"},
                            {"from", {slider.x + 8, y}},
                            {"to", {slider.x + slider.width - 4, y}}}));
    EXPECT_GE(settledValue(*app, "slider "), 95);
}

TEST_F(DesktopPointer, SessionIsCheckedBeforeTheCoordinates) {
    EXPECT_EQ(call("click_at"), json({{"error", "no active session"}}));
    EXPECT_EQ(call("drag"), json({{"error", "no active session"}}));
    start();
    EXPECT_EQ(call("click_at", {{"x", 10.5}, {"y", 3}}), json({{"error", "missing 'x' and 'y' coordinates"}}));
    EXPECT_EQ(call("mouse_move", {{"x", 1}}), json({{"error", "missing 'x' and 'y' coordinates"}}));
    EXPECT_EQ(call("drag", {{"from_x", 1}, {"from_y", 1}, {"to_x", 2}}),
              json({{"error", "missing coordinates (from_x, from_y, to_x, to_y)"}}));
    EXPECT_EQ(call("scroll", {{"delta_x", 3}}), json({{"error", "missing 'delta_y'"}}));
}

}  // namespace
}  // namespace velmor::test
