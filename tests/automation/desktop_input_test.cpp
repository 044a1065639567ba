// Typing, key combinations, clicks, scrolling and drags reaching the fixture through
// synthesised events, at coordinates relative to the target's window; and the clipboard as
// Velmor owns it, shared with other X clients (xclip).
#include "desktop_test.h"

#include "support/child_process.h"
#include "support/eventually.h"

#include <csignal>

namespace velmor::test {
namespace {

using nlohmann::json;

class DesktopInput : public InputFixtureTest {
protected:
    // Clicks into the text field so that typing lands there.
    void focusNotes() {
        platform::Frame notes = where("notes");
        call("click_at", {{"x", notes.x + 10}, {"y", notes.y + notes.height / 2}});
    }
    // Scrolling and sliding animate: the value where the widget came to rest.
    int settledValue(const std::string& prefix) {
        int last = -1;
        while (auto line = app->nextStartingWith(prefix, 700)) last = std::stoi(line->substr(line->rfind(' ') + 1));
        return last;
    }
};

TEST_F(DesktopInput, TypedTextAndKeysReachTheFieldExactlyAndAreRecorded) {
    start();
    focusNotes();
    // An accented letter, an upper-case one off the keymap, an emoji outside the basic
    // plane, shifted ASCII and the same off-keymap letter twice in a row.
    const std::string text = "Grüße, Émile 😀 ok! éé";
    json answer = call("type_text", {{"text", text}});
    EXPECT_FALSE(answer.contains("error")) << answer.dump();
    EXPECT_TRUE(app->printed("text " + text)) << "the field never held the text exactly";

    answer = call("press_key", {{"key", "cmd+a"}});
    EXPECT_FALSE(answer.contains("error")) << answer.dump();
    call("type_text", {{"text", "new"}});
    EXPECT_TRUE(app->printed("text new"));
    // Upper-case and control spelled out work the same way.
    call("press_key", {{"key", "CTRL+A"}});
    call("press_key", {{"key", "backspace"}});
    EXPECT_TRUE(app->printed("text "));
    EXPECT_EQ(recorded, (std::vector<std::string>{"type_text", "press_key", "type_text", "press_key", "press_key"}));
}

TEST_F(DesktopInput, ArgumentsSessionAndKeyNamesAreCheckedInThatOrderAndRefusalsNotRecorded) {
    EXPECT_EQ(call("type_text"), json({{"error", "missing 'text'"}}));
    EXPECT_EQ(call("press_key", {{"key", 5}}), json({{"error", "'key' must be a string"}}));
    EXPECT_EQ(call("set_clipboard", {{"text", 3}}), json({{"error", "'text' must be a string"}}));
    for (const char* tool : {"type_text", "press_key", "click_at", "drag"})
        EXPECT_EQ(call(tool, {{"text", "x"}, {"key", "a"}}), json({{"error", "no active session"}})) << tool;
    start();
    EXPECT_EQ(call("press_key", {{"key", "cmd+f13"}}), json({{"error", "unknown key: f13"}}));
    EXPECT_EQ(call("press_key", {{"key", "+"}}), json({{"error", "unknown key: "}}));
    EXPECT_EQ(call("press_key", {{"key", "cmd+shift"}}), json({{"error", "unknown key: "}}));
    // Blanks around the plus signs are part of the names.
    EXPECT_EQ(call("press_key", {{"key", "cmd + a"}}), json({{"error", "unknown key:  a"}}));
    EXPECT_EQ(call("click_at", {{"x", 10.5}, {"y", 3}}), json({{"error", "'x' must be an integer"}}));
    EXPECT_EQ(call("mouse_move", {{"x", 1}}), json({{"error", "missing 'x' and 'y' coordinates"}}));
    EXPECT_EQ(call("drag", {{"from_x", 1}, {"from_y", 1}, {"to_x", 2}}),
              json({{"error", "missing coordinates (from_x, from_y, to_x, to_y)"}}));
    EXPECT_EQ(call("scroll", {{"delta_x", 3}}), json({{"error", "missing 'delta_y'"}}));
    EXPECT_TRUE(recorded.empty());
}

TEST_F(DesktopInput, ClicksAndScrollingLandWhereTheyAreAimed) {
    start();
    platform::Frame pad = where("pad");
    json answer = call("click_at", {{"x", pad.x + pad.width / 2}, {"y", pad.y + pad.height / 2}, {"clicks", 2}});
    EXPECT_EQ(answer, json({{"status", "clicked"},
                            {"x", pad.x + pad.width / 2},
                            {"y", pad.y + pad.height / 2},
                            {"button", "left"},
                            {"clicks", 2}}));
    EXPECT_TRUE(app->printed("double click"));
    call("click_at", {{"x", pad.x + 5}, {"y", pad.y + 5}, {"button", "right"}});
    EXPECT_EQ(app->nextStartingWith(""), "right click");

    platform::Frame list = where("list");
    EXPECT_EQ(call("mouse_move", {{"x", list.x + list.width / 2}, {"y", list.y + list.height / 2}}),
              json({{"status", "moved"}, {"x", list.x + list.width / 2}, {"y", list.y + list.height / 2}}));
    // Positive amounts scroll down and right, as the tool's description tells the agent.
    EXPECT_EQ(call("scroll", {{"delta_y", 60}}), json({{"status", "scrolled"}, {"delta_y", 60}, {"delta_x", 0}}));
    EXPECT_GT(settledValue("scrolled "), 0);
    call("scroll", {{"delta_y", 0}, {"delta_x", 60}});
    EXPECT_GT(settledValue("hscrolled "), 0);
    call("scroll", {{"delta_y", -200}});
    EXPECT_EQ(settledValue("scrolled "), 0);
}

TEST_F(DesktopInput, DragMovesTheSliderAcrossItsTrack) {
    start();
    platform::Frame slider = where("slider");
    int y = slider.y + slider.height / 2;
    json answer = call("drag", {{"from_x", slider.x + 8}, {"from_y", y}, {"to_x", slider.x + slider.width - 4},
                                {"to_y", y}, {"duration", 0.2}});
    EXPECT_EQ(answer, json({{"status", "dragged"}, {"from", {slider.x + 8, y}}, {"to", {slider.x + slider.width - 4, y}}}));
    EXPECT_GE(settledValue("slider "), 95);
}

TEST_F(DesktopInput, CopiedTextStaysAvailableToOtherClients) {
    const std::string text = "Café 😀 ünïcode";
    EXPECT_EQ(call("set_clipboard", {{"text", text}}), json({{"status", "copied"}, {"length", 14}}));
    EXPECT_EQ(call("get_clipboard"), json({{"text", text}}));
    EXPECT_EQ(clipboardByXclip(), text) << "still available after set_clipboard returned";
    EXPECT_EQ(call("set_clipboard", {{"text", "second"}}), json({{"status", "copied"}, {"length", 6}}));
    EXPECT_EQ(clipboardByXclip(), "second");
}

TEST_F(DesktopInput, TextCopiedElsewhereIsReadAndPastedIntoTheApplication) {
    {
        ChildProcess xclip({"xclip", "-selection", "clipboard", "-i"});
        xclip.writeStdin("from xclip ñ");
        xclip.closeStdin();
        xclip.wait();
    }
    // xclip takes the selection from a process of its own, a moment after it returns.
    json read;
    EXPECT_TRUE(eventually([&] { return (read = call("get_clipboard")) == json({{"text", "from xclip ñ"}}); },
                           std::chrono::seconds(2)))
        << read.dump();

    call("set_clipboard", {{"text", "pasted ß"}});
    start();
    focusNotes();
    call("press_key", {{"key", "ctrl+v"}});
    EXPECT_TRUE(app->printed("text pasted ß"));
}

// An owner that holds the clipboard but no longer answers is not an empty clipboard: the read
// says so, and reads work again once the owner does.
TEST_F(DesktopInput, AClipboardOwnerThatStopsAnsweringIsAnErrorNotAnEmptyClipboard) {
    ChildProcess xclip({"xclip", "-quiet", "-selection", "clipboard", "-i"});
    xclip.writeStdin("held by xclip");
    xclip.closeStdin();
    json read;
    ASSERT_TRUE(eventually([&] { return (read = call("get_clipboard")) == json({{"text", "held by xclip"}}); },
                           std::chrono::seconds(2)))
        << read.dump();

    xclip.signal(SIGSTOP);
    EXPECT_EQ(call("get_clipboard"), json({{"error", "the application that holds the clipboard did not hand over its text"}}));
    xclip.signal(SIGCONT);
    EXPECT_TRUE(eventually([&] { return (read = call("get_clipboard")) == json({{"text", "held by xclip"}}); },
                           std::chrono::seconds(3)))
        << read.dump();
}

}  // namespace
}  // namespace velmor::test
