// The target's windows through the window manager.
#include "desktop_test.h"

namespace velmor::test {
namespace {

using nlohmann::json;

class DesktopWindows : public DesktopTest {};

json frameOf(const json& answer) {
    const json& window = answer.at("windows").at(0);
    return {window.at("x"), window.at("y"), window.at("width"), window.at("height")};
}

TEST_F(DesktopWindows, WindowToolsNeedASessionBeforeTheirArguments) {
    EXPECT_EQ(call("get_windows").value("error", ""), "no active session");
    EXPECT_EQ(call("set_window_frame", {{"x", "left"}}).value("error", ""), "no active session");
}

TEST_F(DesktopWindows, GetWindowsDescribesTheFrame) {
    start();
    json answer = call("get_windows");
    ASSERT_EQ(answer.at("windows").size(), 1u) << answer.dump();
    const json& window = answer.at("windows").at(0);
    EXPECT_EQ(window.at("index"), 0);
    EXPECT_EQ(window.at("title"), "Velmor Fixture");
    // The frame is the window with its decorations.
    EXPECT_GE(window.at("width").get<int>(), 480);
    EXPECT_GT(window.at("height").get<int>(), 420);
}

TEST_F(DesktopWindows, SetWindowFrameMovesAndResizesTheRealWindow) {
    start();
    EXPECT_EQ(call("set_window_frame", {{"x", 100}, {"y", 80}, {"width", 640}, {"height", 500}}),
              json({{"status", "resized"}}));
    json moved = eventually([&] { return call("get_windows"); },
                            [](const json& answer) { return frameOf(answer) == json({100, 80, 640, 500}); });
    EXPECT_EQ(frameOf(moved), json({100, 80, 640, 500})) << moved.dump();

    // Only a size: the window stays where it is. A lone x is ignored.
    EXPECT_EQ(call("set_window_frame", {{"width", 520}, {"height", 460}, {"x", 300}}), json({{"status", "resized"}}));
    json resized = eventually([&] { return call("get_windows"); },
                              [](const json& answer) { return frameOf(answer) == json({100, 80, 520, 460}); });
    EXPECT_EQ(frameOf(resized), json({100, 80, 520, 460})) << resized.dump();
}

}  // namespace
}  // namespace velmor::test
