// The velmor-shortcuts program without a desktop: its library listing, its signing check,
// running shortcuts that pass outputs along (a shell script, variables, a local web page),
// and an import that cannot ask anyone.
#include "base/call_context.h"
#include "shortcuts/shortcut_builder.h"
#include "shortcuts/shortcut_file.h"
#include "support/child_process.h"
#include "support/eventually.h"
#include "support/free_port.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>

namespace velmor::shortcuts {
namespace {

using nlohmann::json;

struct Ran {
    int status;
    std::string out, err;
};

class Facility : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(library); }

    Ran run(std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
        args.insert(args.begin(), VELMOR_SHORTCUTS_BINARY);
        test::ChildProcess child(args, env);
        child.closeStdin();
        Ran ran{child.wait(30000), "", ""};
        for (std::string line; child.readLine(line, 1000);) ran.out += line + "\n";
        ran.err = child.drainStderr();
        return ran;
    }

    void put(const std::string& name, const std::vector<ShortcutAction>& actions) {
        auto bytes = shortcutFileBytes(actions);
        ASSERT_TRUE(bytes);
        test::writeFile(library + "/" + name + ".shortcut", *bytes);
    }

    static ShortcutAction script(const std::string& code) {
        return {"is.workflow.actions.runscript", {{"WFShellScript", code}, {"Shell", "/bin/sh"}}};
    }

    test::TempHome home;
    std::string library = home.path() + "/.local/share/velmor/shortcuts";
};

TEST_F(Facility, ListsTheLibrarySortedIgnoringCaseAndSignsOnlyWellFormedShortcuts) {
    put("beta", {});
    put("Alpha", {});
    put("gamma two", {});
    test::writeFile(library + "/.half-written.shortcut", "");
    test::writeFile(library + "/notes.txt", "");
    Ran listed = run({"list"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, "Alpha\nbeta\ngamma two\n");

    const std::string in = home.path() + "/in.shortcut", out = home.path() + "/out.shortcut";
    auto good = shortcutFileBytes({script("echo hi"), {"com.example.anything", {{"UUID", "X"}}}});
    ASSERT_TRUE(good);
    test::writeFile(in, *good);
    Ran checked = run({"check", "-i", in, "-o", out});
    EXPECT_EQ(checked.status, 0) << checked.err;
    EXPECT_EQ(test::readFile(out), *good);
    // Scripts written for the command's former name still work.
    std::filesystem::remove(out);
    Ran formerName = run({"sign", "-m", "anyone", "-i", in, "-o", out});
    EXPECT_EQ(formerName.status, 0) << formerName.err;
    EXPECT_EQ(test::readFile(out), *good);

    auto header = [](const std::string& actions) {
        return R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>
            <key>WFWorkflowMinimumClientVersionString</key><string>900</string>
            <key>WFWorkflowMinimumClientVersion</key><integer>900</integer>
            <key>WFWorkflowIcon</key><dict/>
            <key>WFWorkflowInputContentItemClasses</key><array/>)" + actions + "</dict></plist>";
    };
    const std::pair<std::string, std::string> malformed[] = {
        {"not a plist at all", "the file is not a property list"},
        {header(""), "the file has no WFWorkflowActions"},
        {header("<key>WFWorkflowActions</key><string>x</string>"), "the file's WFWorkflowActions is of the wrong kind"},
        {header("<key>WFWorkflowActions</key><array><dict><key>WFWorkflowActionParameters</key><dict/></dict></array>"),
         "action 1 has no identifier"},
        {header("<key>WFWorkflowActions</key><array><dict><key>WFWorkflowActionIdentifier</key><string>a</string>"
                "</dict></array>"),
         "action 1 has no parameter dictionary"},
    };
    for (const auto& [content, reason] : malformed) {
        std::filesystem::remove(out);
        test::writeFile(in, content);
        Ran refused = run({"check", "-i", in, "-o", out});
        EXPECT_EQ(refused.status, 1) << reason;
        EXPECT_EQ(refused.err, "cannot check " + in + ": " + reason + "\n");
        EXPECT_FALSE(std::filesystem::exists(out)) << reason;
    }
}

TEST_F(Facility, RunPassesEachOutputOnAndFailsWithTheReason) {
    // A web page nobody here serves but Python's own file server.
    test::writeFile(home.path() + "/page.txt", "from the web");
    uint16_t port = test::freePort();
    test::ChildProcess server({"/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1", "--directory",
                               home.path(), std::to_string(port)});
    ASSERT_TRUE(test::eventually([&] { return test::sendAndReadAll(port, "GET /page.txt HTTP/1.0\r\n\r\n").find("from the web") != std::string::npos; }));

    put("Shout", {
                     script("tr a-z A-Z"),
                     {"is.workflow.actions.setvariable", {{"WFVariableName", "Loud"}}},
                     {"is.workflow.actions.url", {{"WFURLActionURL", "http://127.0.0.1:" + std::to_string(port) + "/page.txt"}}},
                     {"is.workflow.actions.downloadurl", {}},
                     script("cat > \"$HOME/fetched.txt\"; echo saved"),
                     {"is.workflow.actions.comment", {{"WFCommentActionText", "passes its input on"}}},
                     {"is.workflow.actions.gettext", {{"WFTextActionText", textToken("{{Loud}} and {{input}} {{other}}")}}},
                 });
    Ran ran = run({"run", "Shout", "-i", "hello"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out, "HELLO and saved {{other}}\n");
    EXPECT_EQ(test::readFile(home.path() + "/fetched.txt"), "from the web");

    put("Broken", {script("echo partial; echo 'it broke' >&2; exit 4"), script("touch \"$HOME/never\"")});
    Ran broken = run({"run", "Broken"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.err, "it broke\n");
    EXPECT_FALSE(std::filesystem::exists(home.path() + "/never")) << "a failure ends the run";

    for (const char* identifier : {"is.workflow.actions.sendmessage", "is.workflow.actions.dnd", "com.example.x"}) {
        put("Elsewhere", {{identifier, {}}});
        Ran unavailable = run({"run", "Elsewhere"});
        EXPECT_EQ(unavailable.status, 1);
        EXPECT_EQ(unavailable.err, "action " + std::string(identifier) + " is not available on this system\n");
    }
    Ran missing = run({"run", "Nothing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "no shortcut named 'Nothing'\n");
    put("../outside", {script("touch \"$HOME/escaped\"")});
    Ran outside = run({"run", "../outside"});
    EXPECT_EQ(outside.err, "no shortcut named '../outside'\n") << "only the library's own files are run";
    EXPECT_FALSE(std::filesystem::exists(home.path() + "/escaped"));
}

TEST_F(Facility, ImportWithoutADesktopIsReportedAsNotImported) {
    const char* display = std::getenv("DISPLAY");
    std::string saved = display ? display : "";
    ::unsetenv("DISPLAY");
    ::setenv("WAYLAND_DISPLAY", "", 1);
    ::mkdir((home.path() + "/tmp").c_str(), 0700);
    ShortcutBuilder builder(VELMOR_SHORTCUTS_BINARY, home.path() + "/tmp");
    auto created = builder.buildFromDescription("Quiet", json::array({{{"type", "comment"}, {"text", "hi"}}}));
    if (display) ::setenv("DISPLAY", saved.c_str(), 1);
    ASSERT_TRUE(created) << created.error();
    EXPECT_EQ(created->actions, 1u);
    EXPECT_FALSE(created->imported);
    EXPECT_EQ(created->importError, "cannot import " + created->path +
                                        ": there is no desktop to ask for approval on (DISPLAY is not set)");
    EXPECT_FALSE(std::filesystem::exists(library + "/Quiet.shortcut"));
}

// Whether the process runs (a zombie nobody reaps has ended).
bool running(const std::string& pidFile) {
    std::string pid(test::readFile(pidFile));
    while (!pid.empty() && pid.back() == '\n') pid.pop_back();
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (pid.empty() || !std::getline(stat, line)) return false;
    auto state = line.find(") ");
    return state != std::string::npos && line[state + 2] != 'Z';
}

// No wait a shortcut asks for may exceed the bound, and a run ends at its own bound or when
// its call is cancelled, together with the script running and what that script started.
TEST_F(Facility, RunsAreBoundedAndEndWithEverythingTheyStarted) {
    put("Hour", {{"is.workflow.actions.delay", {{"WFDelayTime", 3600}}}, script("touch \"$HOME/never\"")});
    Ran hour = run({"run", "Hour"});
    EXPECT_EQ(hour.status, 1);
    EXPECT_EQ(hour.err, "a wait of 3600000 ms is longer than the 10 minutes allowed\n");
    EXPECT_FALSE(std::filesystem::exists(home.path() + "/never"));

    put("Sleepy", {script("sleep 600 & echo $! > \"$HOME/sleep.pid\"; echo $$ > \"$HOME/shell.pid\"; wait")});
    const std::string shellPid = home.path() + "/shell.pid", sleepPid = home.path() + "/sleep.pid";
    auto started = [&] { return running(shellPid) && running(sleepPid); };
    auto ended = [&] { return !running(shellPid) && !running(sleepPid); };
    ::mkdir((home.path() + "/tmp").c_str(), 0700);

    ShortcutBuilder bounded(VELMOR_SHORTCUTS_BINARY, home.path() + "/tmp", std::chrono::seconds(2));
    auto cut = bounded.runShortcut("Sleepy", std::nullopt);
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error(), "shortcut 'Sleepy' failed: the shortcut was stopped after 2 seconds, the longest a shortcut may run");
    EXPECT_TRUE(test::eventually(ended)) << "the script and its sleep ended with the run";
    std::filesystem::remove(shellPid);
    std::filesystem::remove(sleepPid);

    ShortcutBuilder builder(VELMOR_SHORTCUTS_BINARY, home.path() + "/tmp");
    auto call = std::make_shared<CallContext>();
    auto ran = std::async(std::launch::async, [&] {
        CallScope scope(call);
        return builder.runShortcut("Sleepy", std::nullopt);
    });
    ASSERT_TRUE(test::eventually(started));
    call->cancel();
    ASSERT_EQ(ran.wait_for(std::chrono::seconds(30)), std::future_status::ready) << "the run went on";
    EXPECT_FALSE(ran.get());
    EXPECT_TRUE(test::eventually(ended)) << "the script and its sleep ended with the cancelled call";
}

}  // namespace
}  // namespace velmor::shortcuts
