// Answers that come once the interface has settled, and dialogs that join the session: on a
// machine whose cores are all busy, the press that opens a dialog answers with the dialog's
// controls, which are then pressed by their own tools; a real editor's file chooser offers
// its name field and Save button as tools and saves through them, checked on disk.
#include "desktop_test.h"

#include "support/cpu_load.h"
#include "support/eventually.h"

namespace velmor::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

using DialogsUnderLoad = DesktopTest;

TEST_F(DialogsUnderLoad, TheAnswerOfThePressListsTheDialogItOpenedAndItsButtonsAnswerIt) {
    ASSERT_FALSE(start().contains("error"));
    CpuLoad load;
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        json opened = call("click_open_dialog");
        ASSERT_TRUE(app->printed("dialog opened"));
        EXPECT_TRUE(lists(opened, "added", "click_confirm") && lists(opened, "added", "click_dismiss"))
            << opened.dump();

        json confirmed = call("click_confirm");
        EXPECT_TRUE(app->printed("dialog closed")) << confirmed.dump();
        EXPECT_TRUE(lists(confirmed, "removed", "click_confirm") && lists(confirmed, "removed", "click_dismiss"))
            << confirmed.dump();
        EXPECT_EQ(confirmed.value("window_title", ""), "Velmor Fixture") << confirmed.dump();
    }
}

using FileChooser = DesktopSessionTest;

// Mousepad's Save As runs GTK 3's file chooser in a nested main loop: the menu command that
// opens it answers with its controls, its name field and its Save button are its own tools,
// and the press of Save answers with the chooser gone.
TEST_F(FileChooser, OffersItsNameFieldAndSaveButtonAndSavesThroughThem) {
    auto editor = launch({"mousepad"});
    ASSERT_TRUE(editor);
    ASSERT_FALSE(call("session_start", {{"app_name", "mousepad"}}).contains("error"));
    ASSERT_FALSE(call("type_text", {{"text", "kept by the chooser"}}).contains("error"));
    std::string saveAs;
    json menus = call("list_menus");
    for (const auto& menu : menus.at("menus")) {
        if (menu.at("menu") != "File") continue;
        for (const auto& item : menu.at("items"))
            if (item.get<std::string>().starts_with("Save As")) saveAs = item;
    }
    ASSERT_FALSE(saveAs.empty()) << menus.dump();
    // The chooser reads its folder as it opens: on a busy machine it comes up late, and the
    // menu command's answer still lists it.
    json chooser;
    {
        CpuLoad load;
        chooser = call("menu_click", {{"path", {"File", saveAs}}});
    }
    ASSERT_EQ(chooser.value("status", ""), "clicked") << chooser.dump();
    ASSERT_NE(toolStartingWith(chooser, "click_save"), "") << chooser.dump();
    ASSERT_NE(toolStartingWith(chooser, "fill_name"), "") << chooser.dump();
    EXPECT_TRUE(lists(chooser, "added", toolStartingWith(chooser, "click_save"))) << chooser.dump();
    EXPECT_EQ(chooser.value("window_title", ""), "Save As") << chooser.dump();
    const std::string path = home.path() + "/chosen.txt";
    json named = call(toolStartingWith(chooser, "fill_name"), {{"value", path}});
    ASSERT_FALSE(named.contains("error")) << named.dump();
    // The chooser enables Save once it has looked at the name, which may be after the fill's
    // answer: the press waits for it.
    json saved = call(toolStartingWith(chooser, "click_save"));
    ASSERT_FALSE(saved.contains("error")) << saved.dump();
    EXPECT_TRUE(lists(saved, "removed", toolStartingWith(chooser, "click_save"))) << saved.dump();
    EXPECT_NE(saved.value("window_title", "").find("chosen.txt"), std::string::npos) << saved.dump();

    EXPECT_TRUE(eventually([&] { return readFile(path) == "kept by the chooser"; }, 5s)) << readFile(path);
    EXPECT_TRUE(editor->running());
}

}  // namespace
}  // namespace velmor::test
