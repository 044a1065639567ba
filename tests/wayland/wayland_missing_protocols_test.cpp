// A Wayland compositor without the wlroots protocols (weston): every desktop service that
// needs one fails, naming the protocol it lacks, and nothing pretends to have worked; with no
// window placed, element presses go through the accessibility actions and say so.
#include "desktop_test.h"
#include "wayland_stack.h"

#include "fixtures/desktop_listing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace velmor::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

template <typename T>
void expectNamed(const Result<T>& outcome, const std::string& protocol, const char* what) {
    ASSERT_FALSE(outcome) << what << " claimed to work";
    EXPECT_NE(outcome.error().find(protocol), std::string::npos) << what << ": " << outcome.error();
}

TEST(WaylandWithoutWlrootsProtocols, EachServiceNamesTheProtocolItLacks) {
    ASSERT_EQ(waylandStackMissing(), "");
    auto& desktop = testDesktop();
    EXPECT_TRUE(desktop.applications.reachable()) << "the compositor and the accessibility bus are there";

    const std::string keyboard = "zwp_virtual_keyboard_manager_v1", pointer = "zwlr_virtual_pointer_manager_v1";
    expectNamed(desktop.input.typeCharacters({U"a"}, [] { return true; }), keyboard, "typing");
    expectNamed(desktop.input.pressKey('a', {.control = true}), keyboard, "a key");
    expectNamed(desktop.input.movePointer(10, 10), pointer, "a pointer move");
    expectNamed(desktop.input.setButton(platform::MouseButton::left, true), pointer, "a button");
    expectNamed(desktop.input.scroll(40, 0), pointer, "scrolling");
    expectNamed(desktop.clipboard.setText("x"), "zwlr_data_control_manager_v1", "copying");
    expectNamed(desktop.clipboard.text(), "zwlr_data_control_manager_v1", "reading the clipboard");

    auto shot = desktop.capture.captureFrontWindow(getpid());
    ASSERT_FALSE(shot);
    EXPECT_NE(shot.error().find("zwlr_screencopy_manager_v1"), std::string::npos) << shot.error();
    ASSERT_NE(desktop.frames, nullptr);
    auto frame = desktop.frames->copy({0, 0, 16, 16});
    ASSERT_FALSE(frame);
    EXPECT_NE(frame.error().find("zwlr_screencopy_manager_v1"), std::string::npos) << frame.error();
}

class WestonSession : public DesktopSessionTest {
protected:
    void SetUp() override {
        ASSERT_EQ(waylandStackMissing(), "");
        DesktopSessionTest::SetUp();
    }
};

TEST_F(WestonSession, ElementsArePressedThroughTheirActionsAndTheAnswerSaysSo) {
    auto app = launchFixture({});
    ASSERT_TRUE(app);
    json started = call("session_start", {{"app_name", fixtureName(*app)}});
    ASSERT_FALSE(started.contains("error")) << started.dump();
    const std::string ok = toolStartingWith(started, "click_ok");
    ASSERT_NE(ok, "") << started.dump();
    json pressed = call(ok);
    EXPECT_TRUE(app->printed("pressed OK"));
    EXPECT_EQ(pressed.value("pressed_by", ""), "accessibility action (sent without waiting for the application)")
        << pressed.dump();
    // No window list to raise the application's window from.
    json activated = call("activate_app");
    EXPECT_NE(activated.value("error", "").find("zwlr_foreign_toplevel_manager_v1"), std::string::npos)
        << activated.dump();
}

}  // namespace
}  // namespace velmor::test
