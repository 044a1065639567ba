// Real tasks in applications of each toolkit, each checked without Velmor (the clipboard
// read by xclip, a file saved to disk, what the fixture prints), and the application still
// running and answering afterwards.
#include "desktop_test.h"

#include "support/cpu_load.h"
#include "support/eventually.h"

#include <filesystem>
#include <fstream>

namespace velmor::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

using DesktopToolkits = DesktopSessionTest;

// Qt 5's accessibility adaptor crashes on Properties.GetAll: the scan must read it with
// calls every toolkit answers.
TEST_F(DesktopToolkits, Qt5EditorIsScannedAndTypedIntoWithoutHarm) {
    auto editor = launch({"featherpad"}, {{"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}});
    ASSERT_TRUE(editor);
    json started = call("session_start", {{"app_name", "featherpad"}});
    ASSERT_FALSE(started.contains("error")) << started.dump();
    EXPECT_GT(started.at("element_count").get<int>(), 10) << started.dump();
    EXPECT_EQ(started.at("app"), "FeatherPad");
    ASSERT_TRUE(editor->running());

    const std::string text = "Qt answered Velmor";
    EXPECT_FALSE(call("type_text", {{"text", text}}).contains("error"));
    EXPECT_FALSE(call("press_key", {{"key", "ctrl+a"}}).contains("error"));
    EXPECT_FALSE(call("press_key", {{"key", "ctrl+c"}}).contains("error"));
    EXPECT_EQ(clipboardByXclip(), text);

    json again = call("get_page_info");
    EXPECT_FALSE(again.contains("error")) << again.dump();
    EXPECT_TRUE(editor->running());
}

// A GTK 3 editor whose Save As runs its file chooser in a nested main loop: opened through
// the menu, closed, opened again and used to save the text.
TEST_F(DesktopToolkits, Gtk3EditorSavesThroughItsSaveAsDialog) {
    auto editor = launch({"mousepad"});
    ASSERT_TRUE(editor);
    ASSERT_FALSE(call("session_start", {{"app_name", "mousepad"}}).contains("error"));
    EXPECT_FALSE(call("type_text", {{"text", "saved by Velmor"}}).contains("error"));

    std::string saveAs;
    json menus = call("list_menus");
    for (const auto& menu : menus.at("menus")) {
        if (menu.at("menu") != "File") continue;
        for (const auto& item : menu.at("items")) {
            if (item.get<std::string>().rfind("Save As", 0) == 0) saveAs = item;
        }
    }
    ASSERT_FALSE(saveAs.empty()) << menus.dump();

    ASSERT_EQ(call("menu_click", {{"path", {"File", saveAs}}}).value("status", ""), "clicked");
    json dialog = stateWith("click_cancel");
    ASSERT_NE(toolStartingWith(dialog, "click_cancel"), "") << dialog.dump();
    json closed = call(toolStartingWith(dialog, "click_cancel"));
    ASSERT_FALSE(closed.contains("error")) << closed.dump();
    EXPECT_EQ(toolStartingWith(closed, "click_cancel"), "") << closed.dump();

    ASSERT_EQ(call("menu_click", {{"path", {"File", saveAs}}}).value("status", ""), "clicked");
    dialog = stateWith("click_save");
    ASSERT_NE(toolStartingWith(dialog, "click_save"), "") << dialog.dump();
    // The file name field has the focus as the dialog opens.
    const std::string path = home.path() + "/velmor-note.txt";
    EXPECT_FALSE(call("press_key", {{"key", "ctrl+a"}}).contains("error"));
    json typed = call("type_text", {{"text", path}});
    ASSERT_FALSE(typed.contains("error")) << typed.dump();
    json saved = call(toolStartingWith(dialog, "click_save"));
    ASSERT_FALSE(saved.contains("error")) << saved.dump();

    EXPECT_TRUE(eventually([&] { return readFile(path).find("saved by Velmor") != std::string::npos; }, 5s));
    json after = call("get_page_info");
    EXPECT_NE(after.value("window_title", "").find("velmor-note.txt"), std::string::npos) << after.dump();
    EXPECT_TRUE(editor->running());
}

// A GTK 4 editor saves a new document through its file chooser, opened by the keyboard
// (its menus are popovers the accessibility bus does not show): the chooser's name field,
// its Save button and the folder buttons of its path bar, named as they read, come with
// the key's answer as tools, and what was typed lands in the named file of the folder the
// chooser is in. The editor starts in that folder without a session to restore and keeps
// its settings in memory, so nothing of another run comes back.
TEST_F(DesktopToolkits, Gtk4EditorSavesThroughItsFileChooser) {
    const std::string folder = home.path() + "/notes";
    std::filesystem::create_directories(folder);
    auto editor = launch({"env", "--chdir=" + folder, "gnome-text-editor", "--standalone"},
                         {{"GSETTINGS_BACKEND", "memory"},
                          {"XDG_STATE_HOME", home.path() + "/.local/state"},
                          {"XDG_CACHE_HOME", home.path() + "/.cache"}},
                         30000);
    ASSERT_TRUE(editor);
    json started = call("session_start", {{"app_name", "gnome-text-editor"}});
    ASSERT_FALSE(started.contains("error")) << started.dump();
    json typed = call("type_text", {{"text", "saved by Velmor through GTK 4"}});
    ASSERT_FALSE(typed.contains("error")) << typed.dump();

    json chooser = call("press_key", {{"key", "ctrl+s"}});
    const std::string nameField = toolStartingWith(chooser, "fill_name");
    const std::string save = toolStartingWith(chooser, "click_save");
    ASSERT_TRUE(lists(chooser, "added", nameField) && lists(chooser, "added", save)) << chooser.dump();
    EXPECT_TRUE(lists(chooser, "added", "click_notes")) << chooser.dump();
    EXPECT_EQ(chooser.value("window_title", ""), "Save As") << "the window the user is in";

    json named = call(nameField, {{"value", "velmor-note.txt"}});
    ASSERT_FALSE(named.contains("error")) << named.dump();
    // The chooser shows nothing for over half a second after the press, more on a busy
    // machine: the press's answer still comes with the chooser gone.
    json saved;
    {
        CpuLoad load;
        saved = call(save);
    }
    ASSERT_FALSE(saved.contains("error")) << saved.dump();
    EXPECT_TRUE(lists(saved, "removed", nameField) && lists(saved, "removed", save)) << saved.dump();

    const std::string path = folder + "/velmor-note.txt";
    EXPECT_TRUE(eventually([&] { return readFile(path).starts_with("saved by Velmor through GTK 4"); }, 5s))
        << readFile(path);
    json after = call("get_page_info");
    EXPECT_NE(after.value("window_title", "").find("velmor-note.txt"), std::string::npos) << after.dump();
    EXPECT_TRUE(editor->running());
}

// Dialogs that run their own main loop (gtk_dialog_run), opened by a button and by a menu
// item: the application keeps answering, the dialog's buttons arrive in the action's diff
// and answering it lets the handler return.
TEST_F(DesktopToolkits, ModalDialogsLeaveTheApplicationAnswering) {
    auto app = launchFixture({"--modal"});
    ASSERT_TRUE(app);
    ASSERT_FALSE(call("session_start", {{"app_name", fixtureName(*app)}}).contains("error"));

    json asked = call("click_ask");
    ASSERT_TRUE(app->printed("asking"));
    ASSERT_TRUE(asked.contains("added")) << asked.dump();
    EXPECT_NE(toolStartingWith(asked, "click_yes"), "") << asked.dump();
    json answered = call("click_yes");
    EXPECT_TRUE(app->printed("answered yes"));
    EXPECT_EQ(toolStartingWith(answered, "click_yes"), "") << answered.dump();

    ASSERT_EQ(call("menu_click", {{"path", {"Question", "Ask"}}}).value("status", ""), "clicked");
    ASSERT_TRUE(app->printed("asking"));
    json dialog = stateWith("click_no");
    ASSERT_NE(toolStartingWith(dialog, "click_no"), "") << dialog.dump();
    call("click_no");
    EXPECT_TRUE(app->printed("answered no"));
    EXPECT_NE(toolStartingWith(call("get_page_info"), "click_ask"), "");
    EXPECT_TRUE(app->running());
}

// Once the target has quit, every tool that would act on it answers so and ends the
// session; nothing reaches the window that came to the front instead.
TEST_F(DesktopToolkits, TargetThatQuitGetsNoMoreInput) {
    auto bystander = launchFixture({"--input"});
    ASSERT_TRUE(bystander);
    const std::vector<std::pair<std::string, json>> attempts = {
        {"type_text", {{"text", "leak"}}},
        {"press_key", {{"key", "x"}}},
        {"click_at", {{"x", 40}, {"y", 60}}},
        {"scroll", {{"delta_y", 40}}},
        {"drag", {{"from_x", 40}, {"from_y", 60}, {"to_x", 90}, {"to_y", 60}}},
        {"get_page_info", json::object()},
        {"menu_click", {{"path", {"File", "Save"}}}},
        {"click_ok", json::object()},
    };
    for (const auto& [tool, args] : attempts) {
        auto target = launchFixture({});
        ASSERT_TRUE(target);
        std::string name = fixtureName(*target);
        ASSERT_FALSE(call("session_start", {{"app_name", name}}).contains("error"));
        target->kill();
        EXPECT_EQ(call(tool, args), json({{"error", name + " is no longer running. Call session_start again."}}))
            << tool;
        EXPECT_EQ(call("type_text", {{"text", "leak"}}), json({{"error", "no active session"}})) << tool;
    }
    EXPECT_TRUE(bystander->printsNothingLike("text ", 500));
    EXPECT_TRUE(bystander->printsNothingLike("click", 10));
    EXPECT_TRUE(bystander->printsNothingLike("menu ", 10));
}

// The title of the focused window once it holds `part`, read from the window manager's
// property by xprop; what it is after 4 s otherwise.
std::string titleWith(const std::string& part) {
    std::string title;
    eventually([&] {
        title = commandOutput("xprop -id \"$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //')\" _NET_WM_NAME 2>/dev/null"
                              " | sed 's/^[^\"]*\"//; s/\"$//'");
        return title.find(part) != std::string::npos;
    }, 4s);
    return title;
}

// Firefox takes the accessible text of a field and keeps its own value, and refuses the
// accessible action of check boxes and selects: the fill is typed and the presses are
// clicks. A select's options are chosen from its open list, or by name on the closed
// select. The page writes its state into its title, read from the window manager, and the
// chosen plan's price into a paragraph.
TEST_F(DesktopToolkits, FirefoxFormIsFilledCheckedAndChosen) {
    const std::string profile = home.path() + "/firefox-profile";
    std::filesystem::create_directories(profile);
    std::ofstream(profile + "/user.js") << "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
                                           "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
                                           "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                                           "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                                           "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n";
    auto browser = launch({"firefox-esr", "--no-remote", "--profile", profile,
                           "file://" VELMOR_WEB_FIXTURES "/signup.html"},
                          // A crash leaves no reporter window behind to take later tests' clicks.
                          {{"GNOME_ACCESSIBILITY", "1"}, {"MOZ_ENABLE_WAYLAND", "0"}, {"MOZ_CRASHREPORTER_DISABLE", "1"}},
                          60000);
    ASSERT_TRUE(browser);
    json started = call("session_start", {{"app_name", "firefox"}});
    ASSERT_FALSE(started.contains("error")) << started.dump();
    json page = stateWith("fill_full_name");
    ASSERT_NE(toolStartingWith(page, "fill_full_name"), "") << page.dump();
    // Firefox builds a page's accessible objects as it goes: the form is whole once its last
    // control is there.
    page = stateWith("open_plan");
    ASSERT_NE(toolStartingWith(page, "open_plan"), "") << page.dump();

    json filled = call("fill_full_name", {{"value", "Ada Lovelace"}});
    ASSERT_FALSE(filled.contains("error")) << filled.dump();
    EXPECT_NE(titleWith("name=Ada Lovelace;").find("name=Ada Lovelace;"), std::string::npos);

    json checked = call(toolStartingWith(page, "toggle_newsletter"));
    ASSERT_FALSE(checked.contains("error")) << checked.dump();
    EXPECT_NE(titleWith("news=true").find("news=true"), std::string::npos);

    json opened = call(toolStartingWith(page, "open_plan"));
    ASSERT_FALSE(opened.contains("error")) << opened.dump();
    json chosen = call(toolStartingWith(call("get_page_info"), "select_pro"));
    ASSERT_FALSE(chosen.contains("error")) << chosen.dump();
    std::string title = titleWith("plan=Pro");
    EXPECT_NE(title.find("name=Ada Lovelace;news=true;plan=Pro"), std::string::npos) << title;

    // Chosen by name on the closed select: the browser pops its own list up, apart from the
    // page's, and the answer says what the select shows once the page has taken it.
    const std::string plan = toolStartingWith(page, "open_plan");
    json team = call(plan, {{"value", "Team"}});
    ASSERT_FALSE(team.contains("error")) << team.dump();
    EXPECT_EQ(team.value("chosen", ""), "Team") << team.dump();
    // The price the page shows for the plan is a paragraph's text, with no object of its own.
    EXPECT_TRUE(holdsText(team["new_text"], "Team costs $30 a month")) << team.dump();
    title = titleWith("plan=Team");
    EXPECT_NE(title.find("plan=Team"), std::string::npos) << title;
    // An option the page offers but does not let be chosen: the answer says it did not take,
    // and the list it left open is closed, so the next choice opens it afresh.
    json legacy = call(plan, {{"value", "Legacy"}});
    EXPECT_EQ(legacy.value("error", ""), "'Legacy' was chosen but 'Plan' shows 'Team'") << legacy.dump();
    EXPECT_EQ(call(plan, {{"value", "Enterprise"}}).value("error", ""), "'Plan' has no option 'Enterprise'");
    EXPECT_NE(titleWith("plan=Team").find("plan=Team"), std::string::npos);
    json basic = call(plan, {{"value", "Basic"}});
    EXPECT_EQ(basic.value("chosen", ""), "Basic") << basic.dump();
    EXPECT_NE(titleWith("plan=Basic").find("plan=Basic"), std::string::npos);
    EXPECT_FALSE(call("get_page_info").contains("error"));
    EXPECT_TRUE(browser->running());
}

}  // namespace
}  // namespace velmor::test
