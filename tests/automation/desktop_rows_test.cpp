// Lists, status lines and choices as the agent meets them: a table's row is one tool named by
// its name and described by its whole row, pressing it selects the row, and a check box in
// the row keeps a tool of its own; what a status bar and a read-only result field show after
// a press comes back in the press's answer; a combo box's option is chosen by name and read
// back (GTK 3 and Qt 6); a real editor's file chooser offers one tool per file and saves over
// the file whose row was pressed. Every effect is checked in what the application prints, on
// its accessibility bus through a reader of the test's own, or on disk.
#include "desktop_test.h"

#include "atspi_probe.h"
#include "fixtures/desktop_listing.h"
#include "support/eventually.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace velmor::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

size_t toolsContaining(const json& state, const std::string& part) {
    const json& tools = state.at("available_tools");
    return std::count_if(tools.begin(), tools.end(),
                         [&](const json& tool) { return tool.get<std::string>().find(part) != std::string::npos; });
}

class FileList : public DesktopTest {
protected:
    FileList() : DesktopTest({"--files"}) {}

    std::string described(const std::string& name) {
        for (const auto& tool : router.allTools())
            if (tool.at("name") == name) return tool.at("description").get<std::string>();
        return "<not listed>";
    }

    AtspiProbe probe;
};

TEST_F(FileList, EachRowIsOneToolThatSelectsItAndItsCheckBoxKeepsItsOwn) {
    ASSERT_TRUE(probe.connected());
    json state = start();
    ASSERT_EQ(toolStartingWith(state, "click_file03_txt"), "click_file03_txt") << state.dump().substr(0, 3000);
    EXPECT_EQ(toolsContaining(state, "_kb"), 0u) << "no tool per size cell: " << state.dump().substr(0, 3000);
    EXPECT_EQ(toolsContaining(state, "click_text"), 0u) << "no tool per kind cell";
    EXPECT_EQ(toolStartingWith(state, "toggle_file02_txt"), "toggle_file02_txt") << state.dump().substr(0, 3000);
    EXPECT_EQ(valueIn(state, "toggle_file02_txt"), "0");
    EXPECT_EQ(toolsContaining(state, "click_file"), toolsContaining(state, "toggle_file")) << "one row tool per row";
    EXPECT_NE(described("click_file03_txt").find("file03.txt | 3 kB | Text"), std::string::npos)
        << described("click_file03_txt");

    json selected = call("click_file03_txt");
    ASSERT_FALSE(selected.contains("error")) << selected.dump().substr(0, 2000);
    EXPECT_TRUE(app->printed("selected file03.txt"));
    EXPECT_EQ(selected.value("selected", ""), "file03.txt");
    std::vector<std::string> shownSelected = probe.selectedOf(app->id());
    EXPECT_NE(std::find(shownSelected.begin(), shownSelected.end(), "file03.txt"), shownSelected.end());

    json kept = call("toggle_file02_txt");
    ASSERT_FALSE(kept.contains("error")) << kept.dump().substr(0, 2000);
    EXPECT_TRUE(app->printed("keep file02.txt 1"));
}

TEST_F(FileList, StatusBarAndReadOnlyResultReachThePressAnswer) {
    json state = start();
    ASSERT_FALSE(call("toggle_file05_txt").contains("error"));
    ASSERT_TRUE(app->printed("keep file05.txt 1"));
    json counted = call("click_count");
    ASSERT_TRUE(app->printed("pressed Count"));
    ASSERT_FALSE(counted.contains("error")) << counted.dump();
    EXPECT_TRUE(holdsText(counted["new_text"], "1 of 30 files kept")) << counted.dump().substr(0, 2000);
    EXPECT_TRUE(holdsText(counted["new_text"], "1")) << "the total field's new value: " << counted.dump().substr(0, 2000);
}

TEST_F(FileList, ComboBoxOptionIsChosenByNameAndReadBack) {
    json state = start();
    ASSERT_EQ(toolStartingWith(state, "open_size"), "open_size") << state.dump().substr(0, 3000);
    EXPECT_EQ(valueIn(state, "open_size"), "Small");
    json chosen = call("open_size", {{"value", "Large"}});
    ASSERT_FALSE(chosen.contains("error")) << chosen.dump();
    EXPECT_TRUE(app->printed("size Large"));
    EXPECT_EQ(chosen.value("chosen", ""), "Large") << chosen.dump();
    EXPECT_EQ(chosen.value("changed", json::array()),
              json::array({{{"tool", "open_size"}, {"old_value", "Small"}, {"new_value", "Large"}}}))
        << chosen.dump();

    json missing = call("open_size", {{"value", "Huge"}});
    EXPECT_NE(missing.value("error", "").find("no option 'Huge'"), std::string::npos) << missing.dump();
    EXPECT_TRUE(app->printsNothingLike("size", 500));
}

using QtCombo = DesktopSessionTest;

// Qt 6 offers no selection on its combo box: the list is opened and the option clicked. Its
// status bar draws its message, which it tells as its name.
TEST_F(QtCombo, OptionIsChosenThroughTheOpenedListAndReadBack) {
    Program window({VELMOR_QT6_MENUS}, {{"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}});
    ASSERT_TRUE(window.printed("ready", 20000) && listedOnTheDesktopWithin(window.id(), 20000))
        << whyNotListed(window.id());
    json started = call("session_start", {{"app_name", "velmor-qt6-menus-" + std::to_string(window.id())}});
    ASSERT_FALSE(started.contains("error")) << started.dump().substr(0, 2000);
    ASSERT_EQ(toolStartingWith(started, "open_paper"), "open_paper") << started.dump().substr(0, 2000);

    json chosen = call("open_paper", {{"value", "Legal"}});
    ASSERT_FALSE(chosen.contains("error")) << chosen.dump();
    EXPECT_TRUE(window.printed("paper Legal"));
    EXPECT_EQ(chosen.value("chosen", ""), "Legal") << chosen.dump();
    EXPECT_TRUE(holdsText(chosen["new_text"], "Paper set to Legal")) << "the status bar's message: " << chosen.dump();

    // Opened without a choice, its options are tools.
    json opened = call("open_paper");
    ASSERT_FALSE(opened.contains("error")) << opened.dump();
    std::string letter = toolStartingWith(opened, "click_letter");
    ASSERT_NE(letter, "") << opened.dump();
    json pressed = call(letter);
    ASSERT_FALSE(pressed.contains("error")) << pressed.dump();
    EXPECT_TRUE(window.printed("paper Letter"));
}

using FileChooserRows = DesktopSessionTest;

// Mousepad's Save As lists the folder of the file it edits: each file is one tool, and
// pressing one names the file to save, which Save then replaces.
TEST_F(FileChooserRows, OneToolPerFileAndThePressedFileIsSavedOver) {
    const std::string folder = home.path() + "/notes";
    ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
    for (int number = 1; number <= 40; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "/note%02d.txt", number);
        std::ofstream(folder + name) << "old " << number;
    }
    auto editor = launch({"mousepad", folder + "/note01.txt"});
    ASSERT_TRUE(editor);
    ASSERT_FALSE(call("session_start", {{"app_name", "mousepad"}}).contains("error"));
    // The editor fills its menu bar once its window is up.
    std::string saveAs;
    json menus;
    ASSERT_TRUE(eventually([&] {
        menus = call("list_menus");
        for (const auto& menu : menus.value("menus", json::array())) {
            if (menu.at("menu") != "File") continue;
            for (const auto& item : menu.at("items"))
                if (item.get<std::string>().starts_with("Save As")) saveAs = item;
        }
        return !saveAs.empty();
    }, 10s)) << menus.dump();
    json chooser = call("menu_click", {{"path", {"File", saveAs}}});
    if (toolStartingWith(chooser, "click_note02_txt").empty()) chooser = stateWith("click_note02_txt");
    ASSERT_NE(toolStartingWith(chooser, "click_note02_txt"), "") << chooser.dump().substr(0, 3000);
    EXPECT_EQ(toolsContaining(chooser, "bytes"), 0u) << chooser.dump().substr(0, 3000);
    EXPECT_EQ(toolsContaining(chooser, "click_text"), 0u) << chooser.dump().substr(0, 3000);

    json pressed = call(toolStartingWith(chooser, "click_note02_txt"));
    ASSERT_FALSE(pressed.contains("error")) << pressed.dump().substr(0, 2000);
    EXPECT_EQ(pressed.value("selected", ""), "note02.txt") << pressed.dump().substr(0, 2000);
    json saved = call(toolStartingWith(chooser, "click_save"));
    ASSERT_FALSE(saved.contains("error")) << saved.dump().substr(0, 2000);
    // GTK asks before it replaces a file.
    json replace = toolStartingWith(saved, "click_replace").empty() ? stateWith("click_replace") : saved;
    json replaced = call(toolStartingWith(replace, "click_replace"));
    ASSERT_FALSE(replaced.contains("error")) << replaced.dump().substr(0, 2000);
    EXPECT_TRUE(eventually([&] { return readFile(folder + "/note02.txt") == "old 1"; }, 5s))
        << readFile(folder + "/note02.txt");
}

}  // namespace
}  // namespace velmor::test
