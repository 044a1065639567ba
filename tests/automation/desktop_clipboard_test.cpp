// The clipboard as Velmor owns it: readable by Velmor and by other X clients after
// set_clipboard has returned, and what another client copies is read back.
#include "input_desktop_test.h"

#include "support/child_process.h"

namespace velmor::test {
namespace {

using nlohmann::json;

class DesktopClipboard : public InputDesktopTest {};

std::string xclipOutput() {
    // The line break after it lets the last line be read as a whole.
    ChildProcess xclip({"/bin/sh", "-c", "xclip -selection clipboard -o; echo"});
    std::string text, line;
    bool first = true;
    while (xclip.readLine(line, 3000)) {
        text += (first ? "" : "\n") + line;
        first = false;
    }
    xclip.wait();
    return text;
}

TEST_F(DesktopClipboard, CopiedTextStaysAvailableToOtherClients) {
    const std::string text = "Café 😀 ünïcode";
    EXPECT_EQ(call("set_clipboard", {{"text", text}}), json({{"status", "copied"}, {"length", 14}}));
    EXPECT_EQ(call("get_clipboard"), json({{"text", text}}));
    EXPECT_EQ(xclipOutput(), text);
    EXPECT_EQ(call("set_clipboard", {{"text", "second"}}), json({{"status", "copied"}, {"length", 6}}));
    EXPECT_EQ(xclipOutput(), "second");
}

TEST_F(DesktopClipboard, TextCopiedElsewhereIsReadAndPastedIntoTheApplication) {
    {
        ChildProcess xclip({"xclip", "-selection", "clipboard", "-i"});
        xclip.writeStdin("from xclip ñ");
        xclip.closeStdin();
        xclip.wait();
    }
    EXPECT_EQ(call("get_clipboard"), json({{"text", "from xclip ñ"}}));

    call("set_clipboard", {{"text", "pasted ß"}});
    start();
    platform::Frame notes = where("notes");
    call("click_at", {{"x", notes.x + 10}, {"y", notes.y + notes.height / 2}});
    call("press_key", {{"key", "ctrl+v"}});
    EXPECT_TRUE(app->printed("text pasted ß"));
}

TEST_F(DesktopClipboard, SetWithoutTextIsRefused) {
    EXPECT_EQ(call("set_clipboard", {{"text", 3}}), json({{"error", "missing 'text'"}}));
}

}  // namespace
}  // namespace velmor::test
