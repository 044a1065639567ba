// The builder against a stand-in shortcuts program that records its arguments and answers
// or fails on demand; what the builder wrote is read back through libplist.
#include "shortcuts/shortcut_builder.h"
#include "shortcuts/shortcut_file.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace velmor::shortcuts {
namespace {

using nlohmann::json;

// Answers as told by files in its folder: "list.out" is printed for list, "fail-<command>"
// makes that command fail with the file's text on standard error; check copies IN to OUT;
// import keeps a copy of the file it was given as "imported.<name>".
constexpr const char* kStandIn = R"(#!/bin/sh
here=$(dirname "$0")
printf '%s\n' "$@" > "$here/args.$1"
if [ -f "$here/fail-$1" ]; then cat "$here/fail-$1" >&2; exit 3; fi
case "$1" in
  list) cat "$here/list.out" ;;
  run) echo "  ran $2  " ;;
  check) cp "$3" "$5" ;;
  import) name=$(basename "$2"); cp "$2" "$here/imported.$name" ;;
esac
)";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The top-level dictionary of a binary property list file, as JSON.
json readPlist(const std::string& path) {
    std::string bytes = test::readFile(path);
    EXPECT_TRUE(bytes.starts_with("bplist00")) << "a binary property list";
    plist_t root = nullptr;
    plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    std::string text(xml, length);
    free(xml);
    plist_free(root);
    // Small enough to read back with the standard library: key/value pairs of XML.
    json top = json::object();
    std::smatch match;
    auto grab = [&](const std::string& pattern) {
        return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : std::string{};
    };
    top["MinimumClientVersionString"] = grab("<key>WFWorkflowMinimumClientVersionString</key>\\s*<string>([^<]*)");
    top["MinimumClientVersion"] = grab("<key>WFWorkflowMinimumClientVersion</key>\\s*<integer>([^<]*)");
    top["IconStartColor"] = grab("<key>WFWorkflowIconStartColor</key>\\s*<integer>([^<]*)");
    top["IconGlyphNumber"] = grab("<key>WFWorkflowIconGlyphNumber</key>\\s*<integer>([^<]*)");
    top["InputClasses"] = grab("<key>WFWorkflowInputContentItemClasses</key>\\s*<array>([\\s\\S]*?)</array>");
    top["xml"] = text;
    return top;
}

class Builder : public ::testing::Test {
protected:
    void SetUp() override {
        program = home.path() + "/standin";
        test::writeFile(program, kStandIn);
        ::chmod(program.c_str(), 0755);
        ::mkdir((home.path() + "/tmp").c_str(), 0700);
    }
    std::string args(const std::string& command) { return test::readFile(home.path() + "/args." + command); }

    test::TempHome home;
    std::string program;
    ShortcutBuilder builder{home.path() + "/standin", home.path() + "/tmp"};
};

TEST_F(Builder, ListsTrimmedNamesAndRunsWithExactlyTheArgumentsGiven) {
    test::writeFile(home.path() + "/list.out", "\n  Morning  \n\n\nLog Café Visit!\n   \n");
    auto names = builder.listShortcuts();
    ASSERT_TRUE(names) << names.error();
    EXPECT_EQ(*names, (std::vector<std::string>{"Morning", "Log Café Visit!"}));

    auto ran = builder.runShortcut("Morning", std::nullopt);
    ASSERT_TRUE(ran) << ran.error();
    EXPECT_EQ(*ran, "ran Morning");
    EXPECT_EQ(lines(args("run")), (std::vector<std::string>{"run", "Morning"}));
    (void)builder.runShortcut("Morning", "-x y");
    EXPECT_EQ(lines(args("run")), (std::vector<std::string>{"run", "Morning", "-i", "-x y"}));

    test::writeFile(home.path() + "/fail-run", "  boom\n");
    EXPECT_EQ(builder.runShortcut("Morning", std::nullopt).error(), "shortcut 'Morning' failed: boom");
    test::writeFile(home.path() + "/fail-list", "no library");
    EXPECT_EQ(builder.listShortcuts().error(), "shortcuts list failed: no library");
}

TEST_F(Builder, EveryStepTypeAndAliasBecomesItsActionsWithDefaults) {
    json steps = json::parse(R"([
      {"type": "show"}, {"type": "show_result", "text": "Hi"}, {"type": "alert", "text": 5},
      {"type": "ask"}, {"type": "ask_input", "prompt": "Name?", "input_type": "Number"}, {"type": "prompt"},
      {"type": "open_url", "url": "https://example.org"}, {"type": "open"},
      {"type": "open_app", "app": "org.gnome.Calculator"},
      {"type": "shell", "script": "echo hi"}, {"type": "run_script", "shell": "/bin/sh"}, {"type": "bash"},
      {"type": "get_url", "url": "http://x"}, {"type": "http"}, {"type": "fetch"},
      {"type": "text", "text": "Hello {{name}}"},
      {"type": "set_variable", "name": "Who"}, {"type": "variable"},
      {"type": "clipboard"}, {"type": "copy"}, {"type": "get_clipboard"}, {"type": "paste"},
      {"type": "notify"}, {"type": "notification", "title": "T", "body": "B"},
      {"type": "wait", "seconds": "5"}, {"type": "delay", "seconds": 3},
      {"type": "speak", "text": "Good morning"}, {"type": "say"},
      {"type": "send_message", "to": "+1234", "body": "On my way"}, {"type": "message"}, {"type": "imessage"},
      {"type": "set_dnd"}, {"type": "focus", "enabled": false}, {"type": "do_not_disturb", "enabled": "no"},
      {"type": "comment", "text": "why"},
      {"type": "com.example.custom", "params": {"Plain": "x", "Templ": "a {{b}} c", "N": 2}},
      {"type": "Show"}, {"no type": true}, "not a step"
    ])");
    auto created = builder.buildFromDescription("Everything", steps);
    ASSERT_TRUE(created) << created.error();
    EXPECT_EQ(created->actions, 42u) << "open_url, open, get_url, http and fetch are two actions each";
    EXPECT_TRUE(created->imported);
    EXPECT_EQ(created->path, created->path.substr(0, created->path.rfind('/')) + "/Everything.shortcut");
    EXPECT_EQ(lines(args("import")), (std::vector<std::string>{"import", created->path}));
    auto checkArgs = lines(args("check"));
    ASSERT_EQ(checkArgs.size(), 5u);
    EXPECT_EQ((std::vector<std::string>{checkArgs[0], checkArgs[1], checkArgs[3]}),
              (std::vector<std::string>{"check", "-i", "-o"}));
    EXPECT_EQ(checkArgs[4], created->path);
    struct stat st{};
    EXPECT_NE(::stat(checkArgs[2].c_str(), &st), 0) << "the unchecked file is gone";
    EXPECT_TRUE(std::filesystem::is_empty(home.path() + "/tmp")) << "the import ended: nothing is left behind";

    const std::string imported = home.path() + "/imported.Everything.shortcut";
    json top = readPlist(imported);
    EXPECT_EQ(top["MinimumClientVersionString"], "900");
    EXPECT_EQ(top["MinimumClientVersion"], "900");
    EXPECT_EQ(top["IconStartColor"], "4282601983");
    EXPECT_EQ(top["IconGlyphNumber"], "59511");
    EXPECT_NE(top["InputClasses"].get<std::string>().find("WFStringContentItem</string>"), std::string::npos);
    EXPECT_NE(top["InputClasses"].get<std::string>().find("WFURLContentItem</string>"), std::string::npos);

    // The actions in order, as identifier + parameters without the UUID; every UUID is an
    // upper-case UUID of its own.
    std::string xml = top["xml"];
    std::regex uuid("<key>UUID</key>\\s*<string>([0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12})</string>");
    EXPECT_EQ(std::distance(std::sregex_iterator(xml.begin(), xml.end(), uuid), std::sregex_iterator()), 42);
    std::regex identifier("<key>WFWorkflowActionIdentifier</key>\\s*<string>([^<]*)</string>");
    std::vector<std::string> ids;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), identifier); it != std::sregex_iterator(); ++it)
        ids.push_back((*it)[1].str().substr((*it)[1].str().starts_with("is.workflow.actions.") ? 20 : 0));
    EXPECT_EQ(ids, (std::vector<std::string>{
                       "showresult", "showresult", "showresult", "ask", "ask", "ask", "url", "openurl", "url",
                       "openurl", "openapp", "runscript", "runscript", "runscript", "url", "downloadurl", "url",
                       "downloadurl", "url", "downloadurl", "gettext", "setvariable", "setvariable", "setclipboard",
                       "setclipboard", "getclipboard", "getclipboard", "notification", "notification", "delay",
                       "delay", "speaktext", "speaktext", "sendmessage", "sendmessage", "sendmessage", "dnd", "dnd",
                       "dnd", "comment", "com.example.custom", "Show"}))
        << "\"Show\" is no type: names are compared exactly, so it passes through as an identifier";

    // The parameters, without the UUIDs: defaults, text tokens, plain strings.
    auto read = parseShortcutFile(test::readFile(imported));
    ASSERT_TRUE(read) << read.error();
    std::vector<json> params;
    for (auto action : *read) {
        action.parameters.erase("UUID");
        params.push_back(action.parameters);
    }
    ASSERT_EQ(params.size(), 42u);
    auto token = [](const std::string& text) {
        return json{{"Value", {{"string", text}, {"attachmentsByRange", json::object()}}},
                    {"WFSerializationType", "WFTextTokenString"}};
    };
    EXPECT_EQ(params[0], json({{"Text", token("Hello!")}}));
    EXPECT_EQ(params[1], json({{"Text", token("Hi")}}));
    EXPECT_EQ(params[2], json({{"Text", token("Hello!")}})) << "a field of the wrong type counts as absent";
    EXPECT_EQ(params[3], json({{"WFAskActionPrompt", "Enter value:"}, {"WFInputType", "Text"}}));
    EXPECT_EQ(params[4], json({{"WFAskActionPrompt", "Name?"}, {"WFInputType", "Number"}}));
    EXPECT_EQ(params[6], json({{"WFURLActionURL", "https://example.org"}}));
    EXPECT_EQ(params[7], json::object());
    EXPECT_EQ(params[8], json({{"WFURLActionURL", ""}}));
    EXPECT_EQ(params[10], json({{"WFAppIdentifier", "org.gnome.Calculator"}}));
    EXPECT_EQ(params[11], json({{"WFShellScript", "echo hi"}, {"Shell", "/bin/bash"}}));
    EXPECT_EQ(params[12], json({{"WFShellScript", ""}, {"Shell", "/bin/sh"}}));
    EXPECT_EQ(params[20], json({{"WFTextActionText", token("Hello {{name}}")}}));
    EXPECT_EQ(params[21], json({{"WFVariableName", "Who"}}));
    EXPECT_EQ(params[22], json({{"WFVariableName", "Variable"}}));
    EXPECT_EQ(params[23], json::object());
    EXPECT_EQ(params[27], json({{"WFNotificationActionTitle", "Velmor"}, {"WFNotificationActionBody", ""}}));
    EXPECT_EQ(params[28], json({{"WFNotificationActionTitle", "T"}, {"WFNotificationActionBody", "B"}}));
    EXPECT_EQ(params[29], json({{"WFDelayTime", 1}})) << "seconds given as a string use the default";
    EXPECT_EQ(params[30], json({{"WFDelayTime", 3}}));
    EXPECT_EQ(params[31], json({{"WFText", token("Good morning")}}));
    EXPECT_EQ(params[33], json({{"WFSendMessageContent", token("On my way")},
                                {"WFSendMessageActionRecipients", {{{"WFContactFieldValue", "+1234"}}}}}));
    EXPECT_EQ(params[36], json({{"Enabled", true}, {"AssertionType", "Turned On"}}));
    EXPECT_EQ(params[37], json({{"Enabled", false}, {"AssertionType", "Turned On"}}));
    EXPECT_EQ(params[38], json({{"Enabled", true}, {"AssertionType", "Turned On"}}));
    EXPECT_EQ(params[39], json({{"WFCommentActionText", "why"}}));
    EXPECT_EQ(params[40], json({{"Plain", "x"}, {"Templ", token("a {{b}} c")}, {"N", 2}}))
        << "a string holding {{ becomes a text token with the braces kept";
    EXPECT_EQ(params[41], json::object());
}

TEST_F(Builder, FailuresOfSigningAndImportAreToldApartAndCreationsDoNotShareFiles) {
    json steps = {{{"type", "comment"}}};
    test::writeFile(home.path() + "/fail-import", "no desktop here\n");
    auto first = builder.buildFromDescription("Same", steps);
    auto second = builder.buildFromDescription("Same", steps);
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(first->imported);
    EXPECT_EQ(first->importError, "no desktop here") << "an import failure is reported inside a success";
    EXPECT_NE(first->path, second->path) << "each creation writes files of its own";
    EXPECT_TRUE(std::filesystem::is_empty(home.path() + "/tmp")) << "a refused import leaves nothing behind either";

    auto kept = builder.createShortcut("Kept", steps, /*autoImport=*/false);
    ASSERT_TRUE(kept);
    struct stat st{};
    ASSERT_EQ(::stat(kept->path.substr(0, kept->path.rfind('/')).c_str(), &st), 0) << "without an import the file is the result";
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "a private folder";
    EXPECT_TRUE(parseShortcutFile(test::readFile(kept->path)));

    auto bad = builder.createShortcut("a/b", json::array(), false);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error(), "a shortcut's name cannot contain '/'");
    auto twoLines = builder.createShortcut("Two\nLines", json::array(), false);
    ASSERT_FALSE(twoLines);
    EXPECT_EQ(twoLines.error(), "a shortcut's name cannot hold control, invisible or direction-changing characters, "
                                "nor begin or end with a space");

    test::writeFile(home.path() + "/fail-check", "bad file");
    auto unchecked = builder.createShortcut("Plain", json::array({{{"action", "x.y"}}, {{"params", 1}}}), false);
    ASSERT_FALSE(unchecked);
    EXPECT_EQ(unchecked.error(), "the shortcut file is not valid: bad file");
}

}  // namespace
}  // namespace velmor::shortcuts
