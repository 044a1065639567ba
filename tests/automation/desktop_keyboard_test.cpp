// Typing and key combinations reaching the fixture's text field through synthesised
// keyboard events.
#include "input_desktop_test.h"

namespace velmor::test {
namespace {

using nlohmann::json;

class DesktopKeyboard : public InputDesktopTest {
protected:
    // Clicks into the text field so that typing lands there.
    void focusNotes() {
        platform::Frame notes = where("notes");
        call("click_at", {{"x", notes.x + 10}, {"y", notes.y + notes.height / 2}});
    }
};

TEST_F(DesktopKeyboard, TypedTextArrivesExactlyIncludingCharactersOffTheKeymap) {
    start();
    focusNotes();
    // An accented letter, an upper-case one off the keymap, an emoji outside the basic
    // plane, shifted ASCII and the same off-keymap letter twice in a row.
    const std::string text = "Grüße, Émile 😀 ok! éé";
    json answer = call("type_text", {{"text", text}});
    EXPECT_FALSE(answer.contains("error")) << answer.dump();
    EXPECT_TRUE(app->printed("text " + text)) << "the field never held the text exactly";
    EXPECT_EQ(recorded, std::vector<std::string>{"type_text"});
}

TEST_F(DesktopKeyboard, SelectAllThenTypingReplacesTheText) {
    start();
    focusNotes();
    call("type_text", {{"text", "old words"}});
    ASSERT_TRUE(app->printed("text old words"));
    json answer = call("press_key", {{"key", "cmd+a"}});
    EXPECT_FALSE(answer.contains("error")) << answer.dump();
    call("type_text", {{"text", "new"}});
    EXPECT_TRUE(app->printed("text new"));
    // Upper-case and control spelled out work the same way.
    call("press_key", {{"key", "CTRL+A"}});
    call("press_key", {{"key", "backspace"}});
    EXPECT_TRUE(app->printed("text "));
    EXPECT_EQ(recorded, (std::vector<std::string>{"type_text", "press_key", "type_text", "press_key", "press_key"}));
}

TEST_F(DesktopKeyboard, RejectedKeysAnswerTheirErrorAndAreNotRecorded) {
    start();
    EXPECT_EQ(call("press_key", {{"key", "cmd+f13"}}), json({{"error", "unknown key: f13"}}));
    EXPECT_EQ(call("press_key", {{"key", "+"}}), json({{"error", "unknown key: "}}));
    EXPECT_EQ(call("press_key", {{"key", "cmd+shift"}}), json({{"error", "unknown key: "}}));
    // Blanks around the plus signs are part of the names.
    EXPECT_EQ(call("press_key", {{"key", "cmd + a"}}), json({{"error", "unknown key:  a"}}));
    EXPECT_TRUE(recorded.empty());
}

TEST_F(DesktopKeyboard, ArgumentIsCheckedBeforeTheSession) {
    EXPECT_EQ(call("type_text"), json({{"error", "missing 'text'"}}));
    EXPECT_EQ(call("press_key", {{"key", 5}}), json({{"error", "missing 'key'"}}));
    EXPECT_EQ(call("type_text", {{"text", "x"}}), json({{"error", "no active session"}}));
    EXPECT_EQ(call("press_key", {{"key", "a"}}), json({{"error", "no active session"}}));
}

}  // namespace
}  // namespace velmor::test
