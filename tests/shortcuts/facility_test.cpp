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

using namespace std::string_literals;

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
    for (const char* hostile : {"Two\nLines", "Clear\x1b[2J", "gro\xe2\x80\xaeexe"}) {
        // Well-formed files, whose names no shortcut may have: not listed, not run.
        put(hostile, {});
        EXPECT_EQ(run({"run", hostile}).status, 1) << hostile;
    }
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

// A binary property list made of the given objects (references and offsets one byte
// each), with `top` as its top object. Objects are written as the format spells them.
std::string binaryPlist(const std::vector<std::string>& objects, uint8_t top = 0) {
    std::string file = "bplist00";
    std::string offsets;
    for (const auto& object : objects) {
        offsets += static_cast<char>(file.size());
        file += object;
    }
    const size_t tableAt = file.size();
    file += offsets;
    std::string trailer(32, '\0');
    trailer[6] = 1;  // offset size
    trailer[7] = 1;  // reference size
    trailer[15] = static_cast<char>(objects.size());
    trailer[23] = static_cast<char>(top);
    trailer[31] = static_cast<char>(tableAt);
    return file + trailer;
}

std::string asciiObject(const std::string& text) {
    return text.size() < 15 ? std::string(1, static_cast<char>(0x50 | text.size())) + text
                            : std::string("\x5F\x10", 2) + static_cast<char>(text.size()) + text;
}

// Files libplist would abort on, or follow out of bounds, or unfold without end: each is
// refused with its reason by every command that reads a shortcut, and nothing is written.
TEST_F(Facility, MalformedBinaryFilesAreRefusedWithAReasonByEveryCommand) {
    auto good = shortcutFileBytes({script("echo a")});
    ASSERT_TRUE(good);
    std::string withNul = *good;
    const size_t at = withNul.find("echo a");
    ASSERT_NE(at, std::string::npos);
    withNul[at + 4] = '\0';

    const std::string actionsKey = asciiObject("WFWorkflowActions");
    std::vector<std::string> nested;  // 40 arrays, each holding the next
    for (int i = 0; i < 40; ++i) nested.push_back(std::string("\xA1", 1) + static_cast<char>(i + 1));
    nested.push_back("\x09");
    std::vector<std::string> doubling;  // 30 arrays, each holding the next one twice
    for (int i = 0; i < 30; ++i) doubling.push_back(std::string("\xA2", 1) + static_cast<char>(i + 1) + static_cast<char>(i + 1));
    doubling.push_back("\x08");

    const std::pair<std::string, std::string> malformed[] = {
        {withNul, "a string of the property list holds a NUL character"},
        {good->substr(0, good->size() / 2), "the property list's trailer gives impossible sizes"},
        {good->substr(0, 20), "the file is not a binary property list"},
        {binaryPlist({std::string("\xD1\x01\x02", 3), actionsKey, std::string("\xA1\x02", 2)}),
         "the property list refers back to an object that contains the reference"},
        {binaryPlist({std::string("\xAF\x13\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10)}),
         "an array or dictionary of the property list is cut off"},
        {binaryPlist({std::string("\xD1\x01\x01", 3), std::string("\x10\x05", 2)}),
         "a dictionary key of the property list is not a string"},
        {binaryPlist({std::string("\xA1\x05", 2)}), "the property list refers to an object that does not exist"},
        {binaryPlist({std::string("\x80\x01", 2)}), "the property list holds an object of a kind shortcuts never hold"},
        {binaryPlist({std::string("\x62\xD8\x00\x00\x41", 5)}), "a string of the property list is not well-formed UTF-16"},
        {binaryPlist(nested), "the property list is nested more than 32 deep"},
        {binaryPlist(doubling), "the property list unfolds into more than 200000 objects"},
        {"<plist><string>a\0b</string></plist>"s, "the property list holds a NUL character"},
        {"<plist><string>a&#0;b</string></plist>", "the property list holds a NUL character"},
        {"<plist><string>a&#xD800;b</string></plist>", "the property list refers to a character that does not exist"},
    };
    const std::string in = home.path() + "/in.shortcut", out = home.path() + "/out.shortcut";
    for (const auto& [content, reason] : malformed) {
        test::writeFile(in, content);
        Ran checking = run({"check", "-i", in, "-o", out});
        EXPECT_EQ(checking.status, 1) << reason;
        EXPECT_EQ(checking.err, "cannot check " + in + ": " + reason + "\n");
        EXPECT_FALSE(std::filesystem::exists(out)) << reason;

        Ran importing = run({"import", in}, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
        EXPECT_EQ(importing.status, 1) << reason;
        EXPECT_EQ(importing.err, "cannot import " + in + ": " + reason + "\n");

        test::writeFile(library + "/Bad.shortcut", content);
        Ran running = run({"run", "Bad"});
        EXPECT_EQ(running.status, 1) << reason;
        EXPECT_EQ(running.err, "the shortcut 'Bad' cannot be read: " + reason + "\n");
    }
    EXPECT_EQ(run({"list"}).out, "Bad\n");
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
