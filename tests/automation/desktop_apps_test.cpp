// Real applications nobody here wrote, driven by an MCP client through velmor-bridge and the
// real velmor on the virtual desktop: gnome-calculator (GTK 4) computes with its own
// buttons, mousepad (GTK 3) is filled, keyed and searched, LibreOffice Calc sums cells
// filled by their addresses. What they did is read back without Velmor (the clipboard
// through xclip, the saved file), and the client is told of every change of the element
// tools, once per change.
#include "fixtures/desktop_listing.h"
#include "support/child_process.h"
#include "support/desktop_velmor.h"
#include "support/eventually.h"
#include "support/temp_home.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>
#include <unistd.h>

namespace velmor {
namespace {

using test::commandOutput;

using nlohmann::json;
using namespace std::chrono_literals;

constexpr int kAppStartMs = 20000;
// The program itself, not its launcher, which hands over to it and leaves it behind.
constexpr const char* kSpreadsheet = "/usr/lib/libreoffice/program/soffice.bin";
// A first start in a fresh profile makes the profile and restarts itself first.
constexpr int kSpreadsheetStartMs = 60000;

class DesktopApps : public test::DesktopVelmorTest {
protected:
    // The application's chatter goes nowhere: a pipe nobody reads would fill and stop it.
    void startApp(const std::string& command, int withinMs = kAppStartMs) {
        app = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{"/bin/sh", "-c", "exec " + command + " >/dev/null 2>&1"});
        ASSERT_TRUE(test::listedOnTheDesktopWithin(static_cast<int32_t>(app->pid()), withinMs))
            << command << " did not show up on the accessibility bus";
    }

    // Calls a tool through the bridge; the answer's JSON. Pushes that arrive with it, and
    // within a moment after it, are counted in `pushes`.
    json call(const std::string& name, const json& args = json::object()) { return answer(name, args, false); }
    // Calls a tool that is to fail; its error.
    std::string failure(const std::string& name, const json& args) {
        return answer(name, args, true).value("error", "(no error)");
    }

    json answer(const std::string& name, const json& args, bool failing) {
        int id = ++lastId;
        json request = {{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"},
                        {"params", {{"name", name}, {"arguments", args}}}};
        bridge->writeStdin(request.dump() + "\n");
        pushes = 0;
        json answer;
        std::string line;
        while (answer.is_null() && bridge->readLine(line, 30000)) {
            if (line == test::kListChanged) ++pushes;
            else answer = json::parse(line);
        }
        if (!answer.is_object() || answer.value("id", 0) != id || !answer.contains("result")) {
            ADD_FAILURE() << name << " got no answer: " << answer.dump() << "\n" << bridge->drainStderr();
            return json::object();
        }
        while (bridge->readLine(line, 400)) {
            EXPECT_EQ(line, test::kListChanged);
            ++pushes;
        }
        const json& result = answer.at("result");
        EXPECT_EQ(result.value("isError", false), failing) << name << ": " << answer.dump();
        std::string text = result.at("content").at(0).value("text", "");
        json parsed = json::parse(text, nullptr, false);
        if (failing && !(parsed.is_object() && parsed.contains("error"))) return {{"error", text}};
        return parsed.is_object() ? parsed : json::object();
    }

    // LibreOffice Calc with its profile in the test's HOME. Only its GTK 3 front end is on the
    // accessibility bus.
    void startSpreadsheet() {
        const std::string program = kSpreadsheet;
        startApp("env SAL_USE_VCLPLUGIN=gtk3 sh -c '" + program + " --terminate_after_init >/dev/null 2>&1; exec " +
                     program + " --calc --norestore --nologo'",
                 kSpreadsheetStartMs);
    }

    std::unique_ptr<test::ChildProcess> app;
    int lastId = 0;
    int pushes = 0;
};

bool offers(const json& answer, const std::string& tool) {
    for (const auto& name : answer.value("available_tools", json::array()))
        if (name == tool) return true;
    return false;
}

TEST_F(DesktopApps, CalculatorComputesWithItsOwnButtonsAndTheClientHearsOfTheTools) {
    startApp("gnome-calculator");
    json state = call("session_start", {{"app_name", "gnome-calculator"}});
    EXPECT_EQ(pushes, 1) << "one push for the new element tools";
    for (const char* tool : {"click_7", "click_times", "click_6", "click_equals", "click_minus", "click_divide"})
        EXPECT_TRUE(offers(state, tool)) << tool << " in " << state.dump();
    EXPECT_TRUE(offers(state, "click_clear_display_escape")) << "an unnamed button takes its description";

    for (const char* tool : {"click_7", "click_times", "click_6"}) call(tool);
    // The press's answer shows the result, in the display's value or in the labels of the
    // history, whichever has shown it by then.
    json equals = call("click_equals");
    EXPECT_NE(equals.dump().find("\"42\""), std::string::npos) << equals.dump();
    call("press_key", {{"key", "ctrl+c"}});
    EXPECT_EQ(test::commandOutput("xclip -selection clipboard -o 2>/dev/null"), "42");

    call("get_page_info");
    call("get_page_info");
    EXPECT_EQ(pushes, 0) << "the same tools are not announced again";
    call("session_end");
    EXPECT_EQ(pushes, 1) << "one push for the tools that went";
}

TEST_F(DesktopApps, MousepadIsFilledKeyedAndSearchedThroughItsUnlabelledFields) {
    const std::string file = home.path() + "/notes.txt";
    std::ofstream(file) << "old\n";
    startApp("mousepad '" + file + "'");
    json state = call("session_start", {{"app_name", "mousepad"}});
    ASSERT_TRUE(offers(state, "fill_text_area")) << state.dump();

    call("fill_text_area", {{"value", "abc"}});
    for (const char* key : {"end", "=", "home", "[", "forwarddelete", "end", "/", "home", "`", "ctrl+s"})
        call("press_key", {{"key", key}});
    EXPECT_TRUE(test::eventually([&] { return test::readFile(file).starts_with("`[bc=/"); }, 5s)) << test::readFile(file);

    // The menu item is "Find      " in mousepad; the blanks are not the agent's business.
    json found = call("menu_click", {{"path", {"Search", "Find"}}});
    EXPECT_EQ(found.at("status"), "clicked");
    ASSERT_TRUE(found.contains("added")) << "the find bar's controls come with the answer: " << found.dump();
    std::string entry;
    for (const auto& added : found.at("added"))
        if (added.at("tool").get<std::string>().starts_with("fill_")) entry = added.at("tool");
    ASSERT_FALSE(entry.empty()) << found.dump();
    json filled = call(entry, {{"value", "bc"}});
    ASSERT_TRUE(filled.contains("changed")) << filled.dump();
    // Searching selects the match: copying it gives what was searched for.
    call("press_key", {{"key", "return"}});
    call("press_key", {{"key", "escape"}});
    call("press_key", {{"key", "ctrl+c"}});
    EXPECT_EQ(test::commandOutput("xclip -selection clipboard -o 2>/dev/null"), "bc");
}

TEST_F(DesktopApps, CalcSumsNumbersFilledByTheirCellAddresses) {
    if (access(kSpreadsheet, X_OK) != 0) GTEST_SKIP() << "no LibreOffice Calc (scripts/install-deps.sh installs it)";
    startSpreadsheet();
    json state = call("session_start", {{"app_name", "soffice"}});
    ASSERT_TRUE(state.contains("available_tools")) << state.dump().substr(0, 2000);

    EXPECT_NE(failure("fill_cell", {{"cell", "B0"}, {"value", "1"}}).find("not a cell address"), std::string::npos);
    EXPECT_NE(failure("fill_cell", {{"cell", "3B"}, {"value", "1"}}).find("not a cell address"), std::string::npos);
    for (auto [cell, value] : {std::pair{"b2", "12"}, {"B3", "30"}, {"$B$4", "0.5"}}) {
        json filled = call("fill_cell", {{"cell", cell}, {"value", value}});
        EXPECT_EQ(filled.value("shows", ""), value) << filled.dump().substr(0, 2000);
    }
    json sum = call("fill_cell", {{"cell", "B5"}, {"value", "=SUM(B2:B4)"}});
    EXPECT_EQ(sum.value("cell", ""), "B5");
    EXPECT_EQ(sum.value("shows", ""), "42.5") << sum.dump().substr(0, 2000);

    // The sheet went on to B6; back on B5, the copied cell is what the sheet computed.
    call("press_key", {{"key", "up"}});
    call("press_key", {{"key", "ctrl+c"}});
    EXPECT_TRUE(test::eventually(
        [] { return test::commandOutput("xclip -selection clipboard -o 2>/dev/null").starts_with("42.5"); }, 5s))
        << test::commandOutput("xclip -selection clipboard -o 2>/dev/null");
    call("session_end");

    // Without a sheet there is nothing to fill.
    startApp("mousepad");
    call("session_start", {{"app_name", "mousepad"}});
    EXPECT_NE(failure("fill_cell", {{"cell", "A1"}, {"value", "1"}}).find("no spreadsheet"), std::string::npos);
}

// LibreOffice has hundreds of menu entries and fills some menus only as they open. Its GTK 3
// front end shows GTK's menu bar, and keeps one of its own beside it, off screen, which the
// bulk read of its tree holds alone: commands are chosen through the one on screen.
TEST_F(DesktopApps, CalcMenusAreListedAndAMenuCommandChangesACell) {
    if (access(kSpreadsheet, X_OK) != 0) GTEST_SKIP() << "no LibreOffice Calc (scripts/install-deps.sh installs it)";
    startSpreadsheet();
    ASSERT_TRUE(call("session_start", {{"app_name", "soffice"}}).contains("available_tools"));

    json menus = call("list_menus").value("menus", json::array());
    std::vector<std::string> names;
    for (const auto& menu : menus) names.push_back(menu.value("menu", ""));
    EXPECT_EQ(names, (std::vector<std::string>{"File", "Edit", "View", "Insert", "Format", "Styles", "Sheet", "Data",
                                               "Tools", "Window", "Help"}))
        << menus.dump().substr(0, 2000);
    ASSERT_FALSE(menus.empty());
    EXPECT_NE(menus[0].at("items").dump().find("\"Save As...\""), std::string::npos) << menus[0].dump();

    EXPECT_EQ(call("fill_cell", {{"cell", "A1"}, {"value", "quiet words"}}).value("shows", ""), "quiet words");
    call("press_key", {{"key", "up"}});
    json chosen = call("menu_click", {{"path", {"Format", "Text", "UPPERCASE"}}});
    EXPECT_EQ(chosen.value("status", ""), "clicked") << chosen.dump().substr(0, 2000);
    // The command runs once the menu has closed, in the application's own time.
    EXPECT_TRUE(test::eventually([&] {
        call("press_key", {{"key", "ctrl+c"}});
        return test::commandOutput("xclip -selection clipboard -o 2>/dev/null").starts_with("QUIET WORDS");
    }, 5s)) << test::commandOutput("xclip -selection clipboard -o 2>/dev/null");

    // A menu that only fills as it opens, and a wrong step in it, which leaves no menu open:
    // the keys typed next reach the sheet.
    std::string wrong = failure("menu_click", {{"path", {"File", "Wizards", "Letter"}}});
    EXPECT_NE(wrong.find("menu click failed: no menu item \"Letter\" in \"Wizards\""), std::string::npos) << wrong;
    call("type_text", {{"text", "done"}});
    for (const char* key : {"return", "up", "ctrl+c"}) call("press_key", {{"key", key}});
    EXPECT_TRUE(test::eventually(
        [] { return test::commandOutput("xclip -selection clipboard -o 2>/dev/null").starts_with("done"); }, 5s))
        << test::commandOutput("xclip -selection clipboard -o 2>/dev/null");
}

}  // namespace
}  // namespace velmor
