// The desktop tools in a GNOME Wayland session (headless mutter): input through mutter's
// remote desktop, screenshots and recordings through its screen cast, the applications and
// their windows through the accessibility bus. Each effect is checked outside Velmor: by the
// fixture's own reports, an accessibility reader of the test's own, ffprobe.
#include "atspi_probe.h"
#include "desktop_test.h"
#include "media_probe.h"
#include "mutter_stack.h"

#include "fixtures/desktop_listing.h"
#include "media/window_recorder.h"
#include "support/child_process.h"
#include "support/eventually.h"

#include <boost/beast/core/detail/base64.hpp>
#include <png.h>

#include <algorithm>
#include <csignal>
#include <set>
#include <sstream>
#include <thread>

namespace velmor::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class GnomeDesktop : public DesktopSessionTest {
protected:
    void SetUp() override {
        if (!mutterStackMissing().empty()) GTEST_SKIP() << mutterStackMissing();
        DesktopSessionTest::SetUp();
    }
};

std::set<uint32_t> coloursOf(const std::string& base64, int& width, int& height) {
    namespace codec = boost::beast::detail::base64;
    std::vector<uint8_t> png(codec::decoded_size(base64.size()));
    png.resize(codec::decode(png.data(), base64.data(), base64.size()).first);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::set<uint32_t> colours;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return colours;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return colours;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) colours.insert(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    return colours;
}

// The calculator (GTK 4) is pressed through its buttons' actions (mutter tells no one where
// they are), the answers say so, and the result is read back by the test's own reader. Its
// window is then pictured: a PNG of the monitor that shows it, not all one colour.
TEST_F(GnomeDesktop, CalculatorComputesWithItsOwnButtonsAndIsPictured) {
    auto calculator = launch({"gnome-calculator"});
    ASSERT_TRUE(calculator);
    json started = call("session_start", {{"app_name", "gnome-calculator"}});
    ASSERT_FALSE(started.contains("error")) << started.dump();
    for (const char* tool : {"click_1", "click_2", "click_times", "click_3", "click_4", "click_equals"}) {
        json answer = call(tool);
        EXPECT_EQ(answer.value("pressed_by", ""), "accessibility action (sent without waiting for the application)")
            << tool << ": " << answer.dump();
    }
    AtspiProbe probe;
    ASSERT_TRUE(probe.connected());
    std::vector<std::string> texts;
    EXPECT_TRUE(eventually(
        [&] {
            texts = probe.textsOf(calculator->id());
            return std::find(texts.begin(), texts.end(), "408") != texts.end();
        },
        5s))
        << "the calculator shows no 408";

    tools::ToolAnswer shot = router.callTool("screenshot", json::object());
    ASSERT_TRUE(shot.image()) << shot.result().dump();
    int width = 0, height = 0;
    auto colours = coloursOf(shot.image()->pngBase64, width, height);
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 800);
    EXPECT_GT(colours.size(), 2u) << "the picture is all one colour";
}

// Text typed with type_text reaches the focused field exactly: ASCII by its keys, other
// characters by their code points; keys with modifiers act on it.
TEST_F(GnomeDesktop, TypedTextReachesTheFocusedFieldExactly) {
    auto fixture = launchFixture({"--input"});
    ASSERT_TRUE(fixture);
    json started = call("session_start", {{"app_name", fixtureName(*fixture)}});
    ASSERT_FALSE(started.contains("error")) << started.dump();
    const std::string text = "Grüße, Émile 😀 ok! (a+b)*2";
    json answer = call("type_text", {{"text", text}});
    EXPECT_FALSE(answer.contains("error")) << answer.dump();
    EXPECT_TRUE(fixture->printed("text " + text)) << "the field never held the text exactly";
    for (const char* key : {"ctrl+a", "backspace"}) {
        answer = call("press_key", {{"key", key}});
        EXPECT_FALSE(answer.contains("error")) << answer.dump();
    }
    EXPECT_EQ(fixture->nextStartingWith("text").value_or("<nothing>"), "text ");
}

// Where the fixture says a widget is, within its window ("at <name> x y w h").
platform::Frame widgetIn(Program& fixture, const std::string& widget) {
    fixture.send("where");
    platform::Frame frame;
    auto line = fixture.nextStartingWith("at " + widget + " ");
    if (line) std::istringstream(line->substr(4 + widget.size())) >> frame.x >> frame.y >> frame.width >> frame.height;
    return frame;
}

// mutter tells no one where a window is, but a maximized one fills the monitor: there the
// pointer's clicks, motion and wheel land where they are aimed.
TEST_F(GnomeDesktop, PointerEventsLandWhereTheyAreAimedInAMaximizedWindow) {
    auto fixture = launchFixture({"--input"});
    ASSERT_TRUE(fixture);
    ASSERT_FALSE(call("session_start", {{"app_name", fixtureName(*fixture)}}).contains("error"));
    // mutter's own key for maximizing.
    call("press_key", {{"key", "alt+f10"}});
    ASSERT_TRUE(eventually(
        [&] {
            auto window = testDesktop().windows.focusedWindowOf(fixture->id());
            return window && window->frame.width == 1280;
        },
        5s))
        << "the window was not maximized";
    std::this_thread::sleep_for(300ms);
    platform::Frame pad = widgetIn(*fixture, "pad");
    ASSERT_GT(pad.width, 0);
    json answer = call("click_at", {{"x", pad.x + pad.width / 2}, {"y", pad.y + pad.height / 2}, {"clicks", 2}});
    EXPECT_FALSE(answer.contains("error")) << answer.dump();
    EXPECT_TRUE(fixture->printed("double click"));
    call("click_at", {{"x", pad.x + 5}, {"y", pad.y + 5}, {"button", "right"}});
    EXPECT_TRUE(fixture->printed("right click"));

    platform::Frame list = widgetIn(*fixture, "list");
    call("mouse_move", {{"x", list.x + list.width / 2}, {"y", list.y + list.height / 2}});
    answer = call("scroll", {{"delta_y", 60}});
    EXPECT_FALSE(answer.contains("error")) << answer.dump();
    auto scrolled = fixture->nextStartingWith("scrolled ");
    ASSERT_TRUE(scrolled) << "the list did not scroll";
    EXPECT_GT(std::stoi(scrolled->substr(9)), 0);
}

// The clipboard goes both ways with an application: what Velmor puts there is pasted into
// the fixture's field, and what the fixture copies is what Velmor reads.
TEST_F(GnomeDesktop, TheClipboardRoundTripsWithAnApplication) {
    auto fixture = launchFixture({"--input"});
    ASSERT_TRUE(fixture);
    ASSERT_FALSE(call("session_start", {{"app_name", fixtureName(*fixture)}}).contains("error"));
    // A Wayland client hears of the clipboard's contents while it has the focus.
    call("activate_app");
    AtspiProbe probe;
    ASSERT_TRUE(eventually([&] { return probe.windowActive(fixture->id()); }, 5s));
    const std::string text = "héllo ☃ from Velmor";
    json answer = call("set_clipboard", {{"text", text}});
    ASSERT_FALSE(answer.contains("error")) << answer.dump();
    call("press_key", {{"key", "ctrl+v"}});
    EXPECT_TRUE(fixture->printed("text " + text)) << "the pasted text never reached the field";

    call("type_text", {{"text", " and more"}});
    EXPECT_TRUE(fixture->printed("text " + text + " and more"));
    call("press_key", {{"key", "ctrl+a"}});
    call("press_key", {{"key", "ctrl+c"}});
    EXPECT_TRUE(eventually([&] { return call("get_clipboard").value("text", "") == text + " and more"; }, 3s))
        << call("get_clipboard").dump();

    // Stopped, the application still holds the clipboard but hands nothing over: that is an
    // error, not an empty clipboard; once it runs again, its text is read again.
    fixture->signal(SIGSTOP);
    EXPECT_EQ(call("get_clipboard"), json({{"error", "the application that holds the clipboard did not hand over its text"}}));
    fixture->signal(SIGCONT);
    json read;
    EXPECT_TRUE(eventually([&] { return (read = call("get_clipboard")) == json({{"text", text + " and more"}}); }, 3s))
        << read.dump();
}

// Both applications are listed; activation gives each the focus in turn, as the toolkits'
// own accessibility says. (mutter may keep the focus from a window opened just after input
// went elsewhere, so the order is set by the test.)
TEST_F(GnomeDesktop, ApplicationsAreListedAndActivated) {
    auto fixture = launchFixture({});
    auto calculator = launch({"gnome-calculator"});
    ASSERT_TRUE(fixture && calculator);

    json apps = call("list_apps").at("apps");
    std::set<std::string> pids;
    for (const auto& app : apps) pids.insert(app.value("pid", ""));
    EXPECT_TRUE(pids.count(std::to_string(fixture->id())) && pids.count(std::to_string(calculator->id()))) << apps.dump();

    AtspiProbe probe;
    for (Program* app : {calculator.get(), fixture.get()}) {
        Program* other = app == fixture.get() ? calculator.get() : fixture.get();
        const std::string name = app == fixture.get() ? fixtureName(*fixture) : "gnome-calculator";
        json started = call("session_start", {{"app_name", name}});
        ASSERT_FALSE(started.contains("error")) << started.dump();
        json activated = call("activate_app");
        EXPECT_FALSE(activated.contains("error")) << activated.dump();
        EXPECT_TRUE(eventually([&] { return probe.windowActive(app->id()); }, 5s)) << name << " was not activated";
        EXPECT_FALSE(probe.windowActive(other->id()));
    }
    json windows = call("get_windows").at("windows");
    ASSERT_EQ(windows.size(), 1u) << windows.dump();
    EXPECT_EQ(windows[0].value("title", ""), "Velmor Fixture");
}

// A dialog that runs its own main loop (gtk_dialog_run), opened by a press: the application
// keeps answering. A GTK 3 button has no known place here, and its action would run the
// dialog inside the accessibility dispatch: it is pressed by a key once it has the focus.
TEST_F(GnomeDesktop, ModalDialogsLeaveTheApplicationAnswering) {
    auto app = launchFixture({"--modal"});
    ASSERT_TRUE(app);
    ASSERT_FALSE(call("session_start", {{"app_name", fixtureName(*app)}}).contains("error"));
    json asked = call("click_ask");
    ASSERT_TRUE(app->printed("asking")) << asked.dump();
    EXPECT_EQ(asked.value("pressed_by", ""), "space key on the focused element") << asked.dump();
    json dialog = stateWith("click_yes");
    ASSERT_NE(toolStartingWith(dialog, "click_yes"), "") << dialog.dump();
    call("click_yes");
    EXPECT_TRUE(app->printed("answered yes"));
    EXPECT_TRUE(app->running());
}

// Three seconds of the screen as an MP4 of the monitor's size, checked by ffprobe.
TEST_F(GnomeDesktop, ARecordingIsAnMp4) {
    auto fixture = launchFixture({"--input"});
    ASSERT_TRUE(fixture);
    ASSERT_NE(testDesktop().frames, nullptr);
    media::WindowRecorder recorder("ffmpeg", home.path() + "/Videos", testDesktop().windows);
    recorder.feedFramesFrom(testDesktop().frames);
    auto started = recorder.startDisplayRecording();
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
    EXPECT_EQ(stream.value("width", 0), 1280);
    EXPECT_EQ(stream.value("height", 0), 800);
    double seconds = durationOf(probe.at("format"));
    EXPECT_GT(seconds, 2.5);
    EXPECT_LT(seconds, 4.5);
}

}  // namespace
}  // namespace velmor::test
