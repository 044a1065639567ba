// The desktop tools in a Wayland session on a wlroots compositor (headless sway): the
// applications and their windows, activation, screenshots, typing and the clipboard, each
// checked from outside Velmor (sway's own IPC client, wl-clipboard, the fixture's reports).
#include "desktop_test.h"
#include "media_probe.h"
#include "wayland_stack.h"

#include "fixtures/desktop_listing.h"
#include "media/window_recorder.h"
#include "support/child_process.h"
#include "support/eventually.h"

#include <boost/beast/core/detail/base64.hpp>
#include <png.h>

#include <csignal>
#include <set>
#include <thread>

namespace velmor::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class WaylandDesktop : public DesktopSessionTest {
protected:
    void SetUp() override {
        ASSERT_EQ(waylandStackMissing(), "");
        DesktopSessionTest::SetUp();
    }
};

struct Picture {
    int width = 0, height = 0;
    std::set<uint32_t> colours;
};

Picture decode(const std::string& base64) {
    namespace codec = boost::beast::detail::base64;
    std::vector<uint8_t> png(codec::decoded_size(base64.size()));
    png.resize(codec::decode(png.data(), base64.data(), base64.size()).first);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture picture;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return picture;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return picture;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) picture.colours.insert(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    return picture;
}

TEST_F(WaylandDesktop, ApplicationsAreListedWithTheirWindowsActivatedAndCaptured) {
    auto fixture = launchFixture({});
    auto calculator = launch({"gnome-calculator"});
    ASSERT_TRUE(fixture && calculator);

    // Each application goes by the app id its window has in the compositor.
    json apps = call("list_apps").at("apps");
    std::map<std::string, std::string> bundleByPid;
    for (const auto& app : apps) bundleByPid[app.at("pid")] = app.at("bundle_id");
    json fixtureWindow = swayWindow([&](const json& node) { return node.value("pid", 0) == fixture->id(); });
    ASSERT_FALSE(fixtureWindow.is_null());
    EXPECT_EQ(bundleByPid[std::to_string(fixture->id())], fixtureWindow.value("app_id", "?")) << apps.dump();
    EXPECT_EQ(bundleByPid[std::to_string(calculator->id())], "org.gnome.Calculator") << apps.dump();
    // The calculator opened last and holds the focus.
    EXPECT_TRUE(eventually([&] { return focusedPidBySway() == calculator->id(); }, 5s));

    json started = call("session_start", {{"app_name", fixtureName(*fixture)}});
    ASSERT_FALSE(started.contains("error")) << started.dump();
    json windows = call("get_windows").at("windows");
    ASSERT_EQ(windows.size(), 1u) << windows.dump();
    EXPECT_EQ(windows[0].value("title", ""), "Velmor Fixture");
    EXPECT_GT(windows[0].value("width", 0), 100);

    // Activation takes the focus back from whichever window has it.
    ASSERT_TRUE(swaymsg("'[pid=" + std::to_string(calculator->id()) + "] focus'").is_array());
    EXPECT_TRUE(eventually([&] { return focusedPidBySway() == calculator->id(); }, 5s));
    json activated = call("activate_app");
    EXPECT_FALSE(activated.contains("error")) << activated.dump();
    EXPECT_TRUE(eventually([&] { return focusedPidBySway() == fixture->id(); }, 5s))
        << "sway gave the focus to " << focusedPidBySway();

    // The window goes where it is asked to, and the screenshot is of its new size.
    json moved = call("set_window_frame", {{"x", 100}, {"y", 50}, {"width", 640}, {"height", 480}});
    EXPECT_FALSE(moved.contains("error")) << moved.dump();
    EXPECT_TRUE(eventually(
        [&] {
            json rect = swayWindow([&](const json& node) { return node.value("pid", 0) == fixture->id(); }).at("rect");
            return rect == json({{"x", 100}, {"y", 50}, {"width", 640}, {"height", 480}});
        },
        5s));
    tools::ToolAnswer shot = router.callTool("screenshot", json::object());
    ASSERT_TRUE(shot.image()) << shot.result().dump();
    Picture picture = decode(shot.image()->pngBase64);
    EXPECT_EQ(picture.width, 640);
    EXPECT_EQ(picture.height, 480);
    EXPECT_GT(picture.colours.size(), 2u) << "the window's picture is all one colour";
}

TEST_F(WaylandDesktop, TypedTextReachesTheFocusedFieldExactly) {
    auto fixture = launchFixture({"--input"});
    ASSERT_TRUE(fixture);
    json started = call("session_start", {{"app_name", fixtureName(*fixture)}});
    ASSERT_FALSE(started.contains("error")) << started.dump();
    // Accented letters, an upper-case one, an emoji outside the basic plane, shifted ASCII.
    const std::string text = "Grüße, Émile 😀 ok! éé";
    json answer = call("type_text", {{"text", text}});
    EXPECT_FALSE(answer.contains("error")) << answer.dump();
    EXPECT_TRUE(fixture->printed("text " + text)) << "the field never held the text exactly";
    // A second text with characters of its own, then keys with a modifier.
    call("type_text", {{"text", " ñ ☃"}});
    EXPECT_TRUE(fixture->printed("text " + text + " ñ ☃"));
    for (const char* key : {"ctrl+a", "backspace"}) {
        answer = call("press_key", {{"key", key}});
        EXPECT_FALSE(answer.contains("error")) << answer.dump();
    }
    EXPECT_EQ(fixture->nextStartingWith("text").value_or("<nothing>"), "text ");

    // A long text at full speed: repeated letters, upper case, digits and characters beyond
    // ASCII arrive complete and in order.
    std::string longer;
    for (int i = 0; i < 4; ++i) longer += "aaAA bbBB 0011 ÄÖÜ ßß ☃☃ The QUICK fox! ";
    answer = call("type_text", {{"text", longer}});
    EXPECT_FALSE(answer.contains("error")) << answer.dump();
    EXPECT_TRUE(fixture->printed("text " + longer)) << "the field never held the long text exactly";
}

TEST_F(WaylandDesktop, TheClipboardRoundTripsWithOtherClients) {
    const std::string text = "héllo ☃ from Velmor";
    json answer = call("set_clipboard", {{"text", text}});
    EXPECT_FALSE(answer.contains("error")) << answer.dump();
    EXPECT_EQ(commandOutput("wl-paste --no-newline"), text);
    // wl-copy serves the selection from the background until it has been pasted once.
    ASSERT_EQ(std::system("printf 'from wl-copy ✓' | wl-copy --paste-once >/dev/null 2>&1"), 0);
    EXPECT_TRUE(eventually([&] { return call("get_clipboard").value("text", "") == "from wl-copy ✓"; }, 3s));
}

// A client that holds the clipboard but no longer answers is not an empty clipboard: the read
// says so, and reads work again once the client does.
TEST_F(WaylandDesktop, AClipboardOwnerThatStopsAnsweringIsAnErrorNotAnEmptyClipboard) {
    ChildProcess copier({"wl-copy", "--foreground"});
    copier.writeStdin("held by wl-copy");
    copier.closeStdin();
    json read;
    ASSERT_TRUE(eventually([&] { return (read = call("get_clipboard")) == json({{"text", "held by wl-copy"}}); }, 3s))
        << read.dump();

    copier.signal(SIGSTOP);
    EXPECT_EQ(call("get_clipboard"), json({{"error", "the application that holds the clipboard did not hand over its text"}}));
    copier.signal(SIGCONT);
    EXPECT_TRUE(eventually([&] { return (read = call("get_clipboard")) == json({{"text", "held by wl-copy"}}); }, 3s))
        << read.dump();
}

// The calculator (GTK 4) opens beside another window.
TEST_F(WaylandDesktop, CalculatorComputesWithItsOwnButtons) {
    auto neighbour = launchFixture({});
    auto calculator = launch({"gnome-calculator"});
    ASSERT_TRUE(neighbour && calculator);
    json window = swayWindow([&](const json& node) { return node.value("pid", 0) == calculator->id(); });
    ASSERT_GT(window.at("rect").value("x", 0), 0) << "the calculator was meant to open beside the fixture";

    json started = call("session_start", {{"app_name", "gnome-calculator"}});
    ASSERT_FALSE(started.contains("error")) << started.dump();
    // GTK 4 marks its buttons visible but never showing, so they have no place on screen:
    // each is pressed through its action, and the answer says so.
    for (const char* tool : {"click_1", "click_2", "click_times", "click_3", "click_4", "click_equals"}) {
        json answer = call(tool);
        EXPECT_EQ(answer.value("pressed_by", ""), "accessibility action (sent without waiting for the application)")
            << tool << ": " << answer.dump();
    }
    // The result, read back without Velmor: copied by the calculator, pasted by wl-paste.
    call("press_key", {{"key", "ctrl+c"}});
    EXPECT_TRUE(eventually([&] { return commandOutput("wl-paste --no-newline") == "408"; }, 3s))
        << commandOutput("wl-paste --no-newline");
}

// A dialog that runs its own main loop (gtk_dialog_run), opened by a button placed through
// the compositor: the application keeps answering, and answering the dialog lets the
// handler return. (A menu item chosen through its action would run the dialog inside the
// application's accessibility dispatch, which GTK 3 then holds until the dialog closes.)
TEST_F(WaylandDesktop, ModalDialogsLeaveTheApplicationAnswering) {
    auto app = launchFixture({"--modal"});
    ASSERT_TRUE(app);
    ASSERT_FALSE(call("session_start", {{"app_name", fixtureName(*app)}}).contains("error"));

    // A GTK 3 button has its place: the press is a pointer click, and the answer says so.
    json asked = call("click_ask");
    ASSERT_TRUE(app->printed("asking")) << asked.dump();
    EXPECT_EQ(asked.value("pressed_by", ""), "pointer click") << asked.dump();
    json dialog = stateWith("click_yes");
    ASSERT_NE(toolStartingWith(dialog, "click_yes"), "") << dialog.dump();
    json answered = call("click_yes");
    EXPECT_TRUE(app->printed("answered yes"));
    EXPECT_EQ(toolStartingWith(answered, "click_yes"), "") << answered.dump();
    EXPECT_NE(toolStartingWith(call("get_page_info"), "click_ask"), "");
    EXPECT_TRUE(app->running());
}

// An X11 application under XWayland, beside a Wayland one: listed, pressed where its
// elements are (its places are the layout's own, not its window's) and typed into.
TEST_F(WaylandDesktop, AnX11ApplicationUnderXWaylandIsReachedAsANativeOne) {
    const char* display = std::getenv("VELMOR_XWAYLAND_DISPLAY");
    ASSERT_TRUE(display && *display) << "sway runs no XWayland";
    auto neighbour = launchFixture({});
    ASSERT_TRUE(neighbour);
    auto app = std::make_unique<Program>(std::vector<std::string>{VELMOR_FIXTURE_APP, "--modal"},
                                         std::map<std::string, std::string>{{"DISPLAY", display}, {"GDK_BACKEND", "x11"}});
    ASSERT_TRUE(app->printed("ready", 15000) && listedOnTheDesktopWithin(app->id(), 10000));
    json window = swayWindow([&](const json& node) { return node.value("pid", 0) == app->id(); });
    ASSERT_EQ(window.value("shell", ""), "xwayland") << window.dump();
    ASSERT_GT(window.at("rect").value("x", 0), 0) << "the X11 window was meant to open beside the fixture";

    ASSERT_FALSE(call("session_start", {{"app_name", fixtureName(*app)}}).contains("error"));
    json asked = call("click_ask");
    EXPECT_TRUE(app->printed("asking")) << asked.dump();
    // The dialog's buttons are listed, and a pointer click on one answers it: the pointer
    // enters the dialog's window on the way.
    json dialog = stateWith("click_yes");
    ASSERT_NE(toolStartingWith(dialog, "click_yes"), "") << dialog.dump();
    json answered = call("click_yes");
    EXPECT_EQ(answered.value("pressed_by", ""), "pointer click") << answered.dump();
    EXPECT_TRUE(app->printed("answered yes"));
    // Asked again, it is answered by key: keys reach the X11 client too.
    call("click_ask");
    ASSERT_TRUE(app->printed("asking"));
    ASSERT_NE(toolStartingWith(stateWith("click_yes"), "click_yes"), "");
    call("press_key", {{"key", "enter"}});
    EXPECT_TRUE(app->printed("answered yes"));
}

// Seconds of the target's window as an MP4 of its size, checked by ffprobe.
TEST_F(WaylandDesktop, ARecordingIsAnMp4OfTheWindow) {
    auto fixture = launchFixture({"--input"});
    ASSERT_TRUE(fixture);
    std::optional<platform::WindowInfo> window;
    ASSERT_TRUE(eventually([&] { return (window = testDesktop().windows.frontWindowOf(fixture->id())).has_value(); }, 5s));
    media::WindowRecorder recorder("ffmpeg", home.path() + "/Videos", testDesktop().windows);
    recorder.feedFramesFrom(testDesktop().frames);
    auto started = recorder.startRecording(fixture->id());
    ASSERT_TRUE(started) << started.error();
    std::this_thread::sleep_for(3s);
    auto saved = recorder.stopRecording();
    ASSERT_TRUE(saved) << saved.error();
    const std::string& path = *saved;
    ASSERT_EQ(path.rfind(home.path(), 0), 0u) << path;

    json probe = probeMedia(path);
    ASSERT_TRUE(probe.is_object()) << "ffprobe could not read " << path;
    const json stream = streamOf(probe, "video");
    EXPECT_EQ(stream.value("codec_name", ""), "h264");
    EXPECT_EQ(stream.value("width", 0), window->frame.width / 2 * 2);
    EXPECT_EQ(stream.value("height", 0), window->frame.height / 2 * 2);
    double seconds = durationOf(probe.at("format"));
    EXPECT_GT(seconds, 2.5);
    EXPECT_LT(seconds, 4.5);
}

}  // namespace
}  // namespace velmor::test
