// An agent creates a shortcut through the real velmor and velmor-bridge, the user approves
// it in the import dialog (pressed here through the accessibility bus by a session of the
// test's own, standing in for the person: velmor refuses to touch its own dialogs), and the
// agent runs it as its own tool. What it did is checked without
// Velmor: the file its shell script wrote and the clipboard as xclip reads it.
#include "automation/session_manager.h"
#include "fixtures/desktop_listing.h"
#include "flows/flow_store.h"
#include "notification_stand_in.h"
#include "shortcuts/shortcut_file.h"
#include "support/child_process.h"
#include "support/desktop_velmor.h"
#include "support/eventually.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace velmor {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

std::string clipboard() { return test::commandOutput("xclip -selection clipboard -o 2>/dev/null"); }

// The process `run` leaves behind to serve copied text.
bool clipboardKeeperRunning() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
        std::string command = test::readFile(entry.path().string() + "/cmdline");
        if (command == std::string(VELMOR_SHORTCUTS_BINARY) + '\0' + "keep-clipboard" + '\0') return true;
    }
    return false;
}

class ShortcutsOnTheDesktop : public test::DesktopVelmorTest {
protected:
    // Velmor makes the files of each creation under TMPDIR: here, inside the test's HOME.
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        savedTmp = tmp ? std::optional<std::string>(tmp) : std::nullopt;
        ::setenv("TMPDIR", home.path().c_str(), 1);
        DesktopVelmorTest::SetUp();
    }
    void TearDown() override {
        if (savedTmp) ::setenv("TMPDIR", savedTmp->c_str(), 1);
        else ::unsetenv("TMPDIR");
    }

    // One JSON-RPC request through the bridge; its result. Pushes met on the way are counted.
    json request(const std::string& method, const json& params) {
        int id = ++lastId;
        bridge->writeStdin(json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump() + "\n");
        std::string line;
        while (bridge->readLine(line, 60000)) {
            if (line == test::kListChanged) {
                ++pushes;
                continue;
            }
            json answer = json::parse(line, nullptr, false);
            if (answer.is_object() && answer.value("id", 0) == id) return answer.value("result", json::object());
        }
        ADD_FAILURE() << method << " got no answer\n" << bridge->drainStderr();
        return json::object();
    }

    // A tool's answer as the JSON it carries, or {"error": text} when it failed.
    json call(const std::string& name, const json& args = json::object()) {
        json result = request("tools/call", {{"name", name}, {"arguments", args}});
        json content = result.value("content", json::array());
        std::string text = content.empty() ? "" : content[0].value("text", "");
        if (result.value("isError", false)) return {{"error", text}};
        return json::parse(text, nullptr, false);
    }

    // The person at the desktop: the dialog's buttons and fields, reached through the
    // accessibility bus by a session outside velmor.
    json userSeesDialog() {
        json state;
        EXPECT_TRUE(test::eventually([&] {
            auto started = user.startSession("velmor-shortcuts", std::nullopt);
            state = started ? *started : json{{"error", started.error()}};
            return started.ok();
        }, 15s)) << state.dump();
        return state;
    }
    void userPresses(const std::string& tool, const json& args = json::object()) {
        auto done = user.performAction(tool, args);
        EXPECT_TRUE(done.ok()) << tool << ": " << (done ? done->dump() : done.error());
    }
    void userLeaves() { static_cast<void>(user.endSession(std::nullopt)); }

    json tool(const std::string& name) {
        for (const auto& described : request("tools/list", json::object()).value("tools", json::array()))
            if (described.value("name", "") == name) return described;
        return nullptr;
    }

    std::string library = home.path() + "/.local/share/velmor/shortcuts";
    flows::FlowStore userFlows{home.path() + "/user-flows.db"};
    automation::SessionManager user{test::testDesktop().accessibility, test::testDesktop().applications,
                                    test::testDesktop().windows, test::testDesktop().input, userFlows};
    std::optional<std::string> savedTmp;
    int lastId = 0;
    int pushes = 0;
};

TEST_F(ShortcutsOnTheDesktop, CreatedApprovedListedAndRunAsItsOwnTool) {
    json created = call("create_shortcut",
                        {{"name", "Shout"},
                         {"steps", {{{"type", "shell"}, {"script", "tr a-z A-Z | tee \"$HOME/shouted.txt\""}},
                                    {{"type", "clipboard"}},
                                    {{"type", "show"}, {"text", "Shouted: {{input}}"}}}}});
    ASSERT_EQ(created.value("status", ""), "created") << created.dump();
    EXPECT_EQ(created.value("actions", 0), 3);
    EXPECT_EQ(created.value("imported", false), true) << created.dump();
    EXPECT_NE(created.value("message", "").find("The user must accept it"), std::string::npos) << created.dump();
    EXPECT_FALSE(std::filesystem::exists(library + "/Shout.shortcut")) << "nothing is added before the user says so";
    for (const auto& entry : std::filesystem::directory_iterator(home.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("velmor-shortcut-"))
            << entry.path() << ": the dialog holds the shortcut, its file is not left behind";

    json dialog = userSeesDialog();
    auto offered = dialog.value("available_tools", json::array());
    ASSERT_NE(std::find(offered.begin(), offered.end(), "click_add"), offered.end()) << dialog.dump();
    ASSERT_NE(std::find(offered.begin(), offered.end(), "click_cancel"), offered.end()) << dialog.dump();
    pushes = 0;
    userPresses("click_add");
    userLeaves();
    ASSERT_TRUE(test::eventually([&] { return std::filesystem::exists(library + "/Shout.shortcut"); }, 10s));

    json listed = call("list_shortcuts");
    EXPECT_EQ(listed, json({{"shortcuts", {"Shout"}}, {"count", 1}}));
    json described = tool("shortcut_shout");
    EXPECT_EQ(described.value("defer_loading", false), true) << described.dump();
    EXPECT_TRUE(test::eventually([&] {
        request("tools/list", json::object());
        return pushes > 0;
    }, 5s)) << "clients hear that the tools changed";

    json ran = call("shortcut_shout", {{"input", "hello"}});
    EXPECT_EQ(ran, json({{"status", "completed"}, {"shortcut", "Shout"}, {"output", "Shouted: HELLO"}}));
    EXPECT_EQ(test::readFile(home.path() + "/shouted.txt"), "HELLO");
    EXPECT_EQ(clipboard(), "HELLO") << "the copied text outlives the shortcut's run";

    // A second shortcut of the same name, cancelled: the library keeps the first.
    const std::string before = test::readFile(library + "/Shout.shortcut");
    json again = call("create_shortcut", {{"name", "Shout"}, {"steps", {{{"type", "comment"}, {"text", "replaced"}}}}});
    ASSERT_EQ(again.value("imported", false), true) << again.dump();
    userSeesDialog();
    userPresses("click_cancel");
    userLeaves();
    EXPECT_TRUE(test::eventually([&] { return !user.startSession("velmor-shortcuts", std::nullopt).ok(); }, 10s))
        << "the dialog has gone";
    EXPECT_EQ(test::readFile(library + "/Shout.shortcut"), before);
    EXPECT_EQ(call("run_shortcut", {{"name", "Shout"}, {"input", "again"}}).value("output", ""), "Shouted: AGAIN");
    EXPECT_EQ(clipboard(), "AGAIN");

    // Once another program copies, nothing of the shortcut stays behind. That xclip stays
    // in the foreground, serves one request and ends.
    test::ChildProcess copier({"/usr/bin/xclip", "-selection", "clipboard", "-quiet", "-loops", "1", "-i"});
    copier.writeStdin("other");
    copier.closeStdin();
    EXPECT_TRUE(test::eventually([] { return clipboard() == "other"; }, 5s));
    EXPECT_EQ(copier.wait(5000), 0);
    EXPECT_TRUE(test::eventually([] { return !clipboardKeeperRunning(); }, 5s));
}

// The import dialog exists so that a person accepts what a shortcut will run: the agent
// reaches it neither as a session, nor with keys while it has the focus, nor with the pointer
// over it, whatever application it controls meanwhile.
TEST_F(ShortcutsOnTheDesktop, TheAgentCannotAcceptItsOwnImport) {
    test::ChildProcess fixture({VELMOR_FIXTURE_APP});
    ASSERT_TRUE(test::fixtureReadyOnTheDesktop(fixture));
    json controlled = call("session_start", {{"app_name", "velmor-fixture-" + std::to_string(fixture.pid())}});
    ASSERT_FALSE(controlled.contains("error")) << controlled.dump();

    json created = call("create_shortcut",
                        {{"name", "Sneak"}, {"steps", {{{"type", "shell"}, {"script", "touch \"$HOME/sneaked\""}}}}});
    ASSERT_EQ(created.value("imported", false), true) << created.dump();
    userSeesDialog();
    userLeaves();
    auto& windows = test::testDesktop().windows;
    std::optional<int32_t> dialogPid;
    for (const auto& app : test::testDesktop().applications.regularApplications())
        if (app.name && app.name->find("velmor-shortcuts") != std::string::npos) dialogPid = app.pid;
    ASSERT_TRUE(dialogPid);
    ASSERT_TRUE(test::eventually([&] { return windows.processWithFocus() == dialogPid; }, 5s))
        << "the import dialog comes forward with the focus";

    const json refused = {{"error", "Error: this window belongs to Velmor and asks the user; it cannot be operated by the agent"}};
    for (const char* name : {"velmor-shortcuts", "Velmor-Shortcuts"})
        EXPECT_EQ(call("session_start", {{"app_name", name}}), refused) << name;
    EXPECT_EQ(call("press_key", {{"key", "return"}}), refused);
    EXPECT_EQ(call("type_text", {{"text", "\n"}}), refused);
    // The pointer over the dialog, in the coordinates click_at takes: the controlled
    // window's, or the screen's while that window is not focused.
    auto dialogWindows = windows.windowsOf(*dialogPid);
    ASSERT_FALSE(dialogWindows.empty());
    const platform::Frame& frame = dialogWindows.front().frame;
    int x = frame.x + frame.width / 2, y = frame.y + frame.height / 2;
    if (auto origin = windows.focusedWindowOf(fixture.pid())) {
        x -= origin->frame.x;
        y -= origin->frame.y;
    }
    EXPECT_EQ(call("click_at", {{"x", x}, {"y", y}}), refused);
    EXPECT_EQ(call("mouse_move", {{"x", x}, {"y", y}}), refused);
    // Nor may a press elsewhere take the focus from the dialog.
    auto fixtureWindows = windows.windowsOf(fixture.pid());
    ASSERT_FALSE(fixtureWindows.empty());
    const platform::Frame& own = fixtureWindows.front().frame;
    auto inDialog = [&](int px, int py) {
        return px >= frame.x && py >= frame.y && px < frame.x + frame.width && py < frame.y + frame.height;
    };
    std::optional<std::pair<int, int>> aside;
    for (auto [px, py] : {std::pair{own.x + 5, own.y + 5}, std::pair{own.x + own.width - 5, own.y + 5},
                          std::pair{own.x + 5, own.y + own.height - 5},
                          std::pair{own.x + own.width - 5, own.y + own.height - 5}})
        if (!aside && !inDialog(px, py)) aside = std::pair{px, py};
    ASSERT_TRUE(aside) << "the dialog covers the controlled window";
    EXPECT_EQ(call("click_at", {{"x", aside->first}, {"y", aside->second}}), refused);
    EXPECT_TRUE(call("click_add").contains("error")) << "the dialog's buttons are no tools of the agent";
    EXPECT_EQ(windows.processWithFocus(), dialogPid) << "the focus stays with the person's dialog";

    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(std::filesystem::exists(library + "/Sneak.shortcut")) << "nothing reached the library";
    EXPECT_EQ(call("list_shortcuts"), json({{"shortcuts", json::array()}, {"count", 0}}));
    userSeesDialog();
    userPresses("click_cancel");
    userLeaves();
    call("session_end");
    EXPECT_FALSE(std::filesystem::exists(home.path() + "/sneaked"));
}

TEST_F(ShortcutsOnTheDesktop, AsksTheUserAndTellsThroughTheNotificationService) {
    test::NotificationStandIn notifications;
    ASSERT_TRUE(test::eventually([&] { return notifications.owned(); }, 5s));
    using shortcuts::textToken;
    auto bytes = shortcuts::shortcutFileBytes({
        {"is.workflow.actions.ask", {{"WFAskActionPrompt", "Who is there?"}, {"WFInputType", "Text"}}},
        {"is.workflow.actions.notification",
         {{"WFNotificationActionTitle", "Hello"}, {"WFNotificationActionBody", "{{input}} is here"}}},
        {"is.workflow.actions.showresult", {{"Text", textToken("{{input}}!")}}},
    });
    ASSERT_TRUE(bytes);
    test::writeFile(library + "/Greet.shortcut", *bytes);

    test::ChildProcess run({VELMOR_SHORTCUTS_BINARY, "run", "Greet"});
    json dialog = userSeesDialog();
    std::string entry;
    for (const auto& name : dialog.value("available_tools", json::array()))
        if (name.get<std::string>().starts_with("fill_")) entry = name;
    ASSERT_FALSE(entry.empty()) << dialog.dump();
    userPresses(entry, {{"value", "Ada"}});
    userPresses("click_ok");
    userLeaves();

    EXPECT_EQ(run.wait(10000), 0) << run.drainStderr();
    std::string output;
    EXPECT_TRUE(run.readLine(output));
    EXPECT_EQ(output, "Ada!");
    EXPECT_EQ(notifications.received(), (std::vector<std::string>{"Hello|Ada is here", "Shortcut result|Ada!"}));
}

}  // namespace
}  // namespace velmor
