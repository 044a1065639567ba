// The menu tools on the GTK fixture's menu bar (File: Save, Recent > Report.txt, Quit, and a
// View menu whose only entry is a separator), on the menu bars of Qt 5 and Qt 6, where an
// unnamed popup menu stands between an item and its entries, and on GTK 4's, whose menus are
// there only while open.
#include "desktop_test.h"
#include "fixtures/desktop_listing.h"
#include "support/eventually.h"

#include <filesystem>

namespace velmor::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

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

using QtMenus = DesktopSessionTest;

TEST_F(QtMenus, Qt6EntriesAndSubmenuEntriesAreListedAndChosenByPath) {
    Program window({VELMOR_QT6_MENUS}, {{"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}});
    ASSERT_TRUE(window.printed("ready", 20000) && listedOnTheDesktopWithin(window.id(), 20000))
        << whyNotListed(window.id());
    json started = call("session_start", {{"app_name", "velmor-qt6-menus-" + std::to_string(window.id())}});
    ASSERT_FALSE(started.contains("error")) << started.dump().substr(0, 2000);

    EXPECT_EQ(call("list_menus"), json({{"menus",
                                         {{{"menu", "File"}, {"items", {"New", "Export", "Quit"}}},
                                          {{"menu", "Options"}, {"items", {"Preferences"}}}}}}));
    json chosen = call("menu_click", {{"path", {"File", "Export", "As HTML"}}});
    EXPECT_EQ(chosen.value("status", ""), "clicked") << chosen.dump();
    EXPECT_TRUE(window.printed("menu As HTML"));
    chosen = call("menu_click", {{"path", {"Options", "Preferences"}}});
    EXPECT_EQ(chosen.value("status", ""), "clicked") << chosen.dump();
    EXPECT_TRUE(window.printed("menu Preferences"));
    EXPECT_EQ(call("menu_click", {{"path", {"File", "Export", "As Text"}}}),
              json({{"error", "menu click failed: no menu item \"As Text\" in \"Export\""}}));
}

// A real Qt 5 editor: its Edit menu's "To Upper Case" changes the selected text, read back
// through the clipboard by xclip.
TEST_F(QtMenus, Qt5EditorRunsAMenuCommandOnItsText) {
    auto editor = launch({"featherpad"}, {{"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}});
    ASSERT_TRUE(editor);
    ASSERT_FALSE(call("session_start", {{"app_name", "featherpad"}}).contains("error"));
    json menus = call("list_menus").at("menus");
    ASSERT_GE(menus.size(), 4u) << menus.dump();
    EXPECT_EQ(menus[2].at("menu"), "Options");
    EXPECT_NE(menus[2].at("items").dump().find("\"Preferences\""), std::string::npos) << menus.dump();

    EXPECT_FALSE(call("type_text", {{"text", "quiet words"}}).contains("error"));
    EXPECT_FALSE(call("press_key", {{"key", "ctrl+a"}}).contains("error"));
    json chosen = call("menu_click", {{"path", {"Edit", "To Upper Case"}}});
    EXPECT_EQ(chosen.value("status", ""), "clicked") << chosen.dump();
    EXPECT_FALSE(call("press_key", {{"key", "ctrl+a"}}).contains("error"));
    EXPECT_FALSE(call("press_key", {{"key", "ctrl+c"}}).contains("error"));
    EXPECT_EQ(clipboardByXclip(), "QUIET WORDS");
    EXPECT_TRUE(editor->running());
}

using Gtk4Menus = DesktopSessionTest;

// The same menus as the Qt 6 window's, in GTK 4 popovers. A wrong step closes the menus, and
// after every walk the keys typed next reach the entry that had the focus before, not the
// bar GTK leaves it on.
TEST_F(Gtk4Menus, EntriesAndSubmenuEntriesAreListedAndChosenByPath) {
    Program window({VELMOR_GTK4_MENUS}, {});
    ASSERT_TRUE(window.printed("ready", 20000) && listedOnTheDesktopWithin(window.id(), 20000))
        << whyNotListed(window.id());
    json started = call("session_start", {{"app_name", "velmor-gtk4-menus-" + std::to_string(window.id())}});
    ASSERT_FALSE(started.contains("error")) << started.dump().substr(0, 2000);

    EXPECT_EQ(call("list_menus"), json({{"menus",
                                         {{{"menu", "File"}, {"items", {"New", "Export", "Quit"}}},
                                          {{"menu", "Options"}, {"items", {"Preferences"}}}}}}));
    EXPECT_FALSE(call("type_text", {{"text", "a"}}).contains("error"));
    EXPECT_TRUE(window.printed("text a"));

    json chosen = call("menu_click", {{"path", {"File", "Export", "As HTML"}}});
    EXPECT_EQ(chosen.value("status", ""), "clicked") << chosen.dump();
    EXPECT_TRUE(window.printed("menu As HTML"));
    EXPECT_EQ(call("menu_click", {{"path", {"File", "Export", "As Text"}}}),
              json({{"error", "menu click failed: no menu item \"As Text\" in \"Export\""}}));
    chosen = call("menu_click", {{"path", {"Options", "Preferences"}}});
    EXPECT_EQ(chosen.value("status", ""), "clicked") << chosen.dump();
    EXPECT_TRUE(window.printed("menu Preferences"));
    EXPECT_FALSE(call("type_text", {{"text", "b"}}).contains("error"));
    EXPECT_TRUE(window.printed("text ab"));

    // Hovering leaves the path open and chooses nothing; the next walk starts from there.
    EXPECT_EQ(call("menu_hover", {{"path", {"File", "Export", "As PDF"}}}),
              json({{"status", "opened"}, {"path", {"File", "Export", "As PDF"}}}));
    EXPECT_TRUE(window.printsNothingLike("menu ", 300));
    chosen = call("menu_click", {{"path", {"Options", "Preferences"}}});
    EXPECT_EQ(chosen.value("status", ""), "clicked") << chosen.dump();
    EXPECT_TRUE(window.printed("menu Preferences"));
}

// GTK's own print editor (GTK 4): Save As chosen from its menu opens the file chooser, which
// the answer lists; the file it saves is read from disk.
TEST_F(Gtk4Menus, PrintEditorSavesThroughItsFileMenu) {
    const std::string folder = home.path() + "/letters";
    std::filesystem::create_directories(folder);
    auto editor = launch({"env", "--chdir=" + folder, "gtk4-print-editor"}, {{"GSETTINGS_BACKEND", "memory"}}, 30000);
    ASSERT_TRUE(editor);
    ASSERT_FALSE(call("session_start", {{"app_name", "gtk4-print-editor"}}).contains("error"));
    json menus = call("list_menus").value("menus", json::array());
    ASSERT_EQ(menus.size(), 2u) << menus.dump();
    EXPECT_NE(menus[0].at("items").dump().find("\"Save As...\""), std::string::npos) << menus.dump();
    EXPECT_FALSE(call("type_text", {{"text", "written through GTK 4's menus"}}).contains("error"));

    json chooser = call("menu_click", {{"path", {"File", "Save As..."}}});
    EXPECT_EQ(chooser.value("status", ""), "clicked") << chooser.dump();
    const std::string nameField = toolStartingWith(chooser, "fill_name");
    const std::string save = toolStartingWith(chooser, "click_save");
    ASSERT_TRUE(lists(chooser, "added", nameField) && lists(chooser, "added", save)) << chooser.dump();
    ASSERT_FALSE(call(nameField, {{"value", "letter.txt"}}).contains("error"));
    ASSERT_FALSE(call(save).contains("error"));
    const std::string path = folder + "/letter.txt";
    EXPECT_TRUE(eventually([&] { return readFile(path) == "written through GTK 4's menus"; }, 5s)) << readFile(path);
    EXPECT_TRUE(editor->running());
}

}  // namespace
}  // namespace velmor::test
