// The menu tools on the fixture's menu bar: File (Save, Recent > Report.txt, Quit) and a
// View menu whose only entry is a separator.
#include "desktop_test.h"

namespace velmor::test {
namespace {

using nlohmann::json;

using DesktopMenus = InputFixtureTest;

TEST_F(DesktopMenus, ListsNamedItemsChoosesThemAlsoInSubmenusAndHoverChoosesNothing) {
    start();
    EXPECT_EQ(call("list_menus"), json({{"menus", {{{"menu", "File"}, {"items", {"Save", "Recent", "Quit"}}}}}}));
    json saved = call("menu_click", {{"path", {"File", "Save"}}});
    EXPECT_EQ(saved.at("status"), "clicked");
    EXPECT_EQ(saved.at("path"), json({"File", "Save"}));
    // Answered with the diff, as the other actions that change the window are.
    EXPECT_TRUE(saved.contains("available_tools") && saved.contains("window_title")) << saved;
    EXPECT_TRUE(app->printed("menu Save"));
    // Names match without the blanks toolkits pad them with.
    json recent = call("menu_click", {{"path", {" File", "Recent  ", "Report.txt\t"}}});
    EXPECT_EQ(recent.at("status"), "clicked") << recent;
    EXPECT_TRUE(app->printed("menu Report.txt"));

    EXPECT_EQ(call("menu_hover", {{"path", {"File", "Save"}}}), json({{"status", "opened"}, {"path", {"File", "Save"}}}));
    EXPECT_TRUE(app->printsNothingLike("menu ", 700));
}

TEST_F(DesktopMenus, BadPathsAreNamedInTheAnswer) {
    EXPECT_EQ(call("menu_click", {{"path", {"File", "Save"}}}), json({{"error", "no active session"}}));
    start();
    EXPECT_EQ(call("menu_click", {{"path", {"File"}}}),
              json({{"error", "menu path needs at least 2 items (menu bar item + menu item)"}}));
    EXPECT_EQ(call("menu_click", {{"path", "File"}}), json({{"error", "'path' must be an array of strings"}}));
    EXPECT_EQ(call("menu_click", json::object()), json({{"error", "missing 'path' array"}}));
    EXPECT_EQ(call("menu_hover", {{"path", json::array()}}), json({{"error", "empty menu path"}}));
    EXPECT_EQ(call("menu_click", {{"path", {"File", "Sav"}}}),
              json({{"error", "menu click failed: no menu item \"Sav\" in \"File\""}}));
    EXPECT_EQ(call("menu_hover", {{"path", {"Edit", "Copy"}}}),
              json({{"error", "menu hover failed: no menu \"Edit\" in the menu bar"}}));
    EXPECT_TRUE(app->printsNothingLike("menu ", 300));
}

}  // namespace
}  // namespace velmor::test
