// The GNOME desktop reached through the desktop portal (VELMOR_GNOME_PORTAL=1 on the headless
// mutter, where xdg-desktop-portal with GNOME's dialogs runs as the desktop's user): the
// tools say that consent is pending until the test, acting as the user, answers the dialogs
// through the accessibility bus; then input and screenshots work, and the screen cast's
// consent is kept for the next run.
#include "atspi_probe.h"
#include "desktop_test.h"
#include "mutter_stack.h"

#include "fixtures/desktop_listing.h"
#include "platform/desktop.h"
#include "support/eventually.h"
#include "support/temp_home.h"

#include <dbus/dbus.h>
#include <png.h>

#include <cstdlib>
#include <set>

namespace velmor::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// Chosen before the first test opens the desktop.
class PortalChoice : public ::testing::Environment {
public:
    void SetUp() override { setenv("VELMOR_GNOME_PORTAL", "1", 1); }
};

[[maybe_unused]] ::testing::Environment* const kPortalChoice = ::testing::AddGlobalTestEnvironment(new PortalChoice);

// The process that shows the portal's dialogs: the owner of its GNOME backend's bus name
// (the bus started it); 0 when none.
int32_t portalDialogs() {
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, nullptr);
    if (!bus) return 0;
    dbus_connection_set_exit_on_disconnect(bus, false);
    DBusMessage* call = dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                                                     "GetConnectionUnixProcessID");
    const char* name = "org.freedesktop.impl.portal.desktop.gnome";
    dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, 2000, nullptr);
    dbus_uint32_t pid = 0;
    if (reply) dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, &pid, DBUS_TYPE_INVALID);
    if (reply) dbus_message_unref(reply);
    dbus_message_unref(call);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return static_cast<int32_t>(pid);
}

size_t coloursOf(const std::vector<uint8_t>& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return 0;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return 0;
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) colours.insert(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    return colours.size();
}

class GnomePortal : public DesktopSessionTest {
protected:
    void SetUp() override {
        if (!mutterStackMissing().empty()) GTEST_SKIP() << mutterStackMissing();
        DesktopSessionTest::SetUp();
    }
};

TEST_F(GnomePortal, ConsentIsAskedOnceThenInputAndScreenshotsWorkAndTheScreenCastIsKept) {
    auto fixture = launchFixture({"--input"});
    ASSERT_TRUE(fixture);
    ASSERT_FALSE(call("session_start", {{"app_name", fixtureName(*fixture)}}).contains("error"));

    // Both dialogs are up now; neither tool waits for them.
    json moved = call("mouse_move", {{"x", 10}, {"y", 10}});
    EXPECT_NE(moved.value("error", "").find("consent pending"), std::string::npos) << moved.dump();
    EXPECT_NE(moved.value("error", "").find("keyboard and pointer"), std::string::npos) << moved.dump();
    json shot = call("screenshot");
    EXPECT_NE(shot.value("error", "").find("consent pending"), std::string::npos) << shot.dump();
    EXPECT_NE(shot.value("error", "").find("screen cast"), std::string::npos) << shot.dump();

    const int32_t dialogs = portalDialogs();
    ASSERT_NE(dialogs, 0) << "the portal's dialogs are not running";
    // The test answers as the user would, in whichever dialog is up: the monitor chosen, remote
    // interaction allowed, the screen cast remembered, then Share.
    AtspiProbe probe;
    ASSERT_TRUE(probe.connected());
    EXPECT_TRUE(eventually(
        [&] {
            probe.selectFirstIn(dialogs, "GtkListBox");
            probe.check(dialogs, "Allow remote interaction");
            probe.check(dialogs, "Remember this selection");
            probe.press(dialogs, "_Share Share");
            return router.callTool("screenshot", json::object()).image() &&
                   !call("mouse_move", {{"x", 1}, {"y", 1}}).contains("error");
        },
        20s))
        << "the dialogs were not answered: " << json(probe.textsOf(dialogs)).dump();

    // The dialogs had the focus; it goes back to the fixture as a user would give it.
    call("activate_app");
    ASSERT_TRUE(eventually([&] { return probe.windowActive(fixture->id()); }, 5s)) << "the fixture was not activated";
    json typed = call("type_text", {{"text", "by consent"}});
    EXPECT_FALSE(typed.contains("error")) << typed.dump();
    std::string last = "<nothing>";
    while (auto line = fixture->nextStartingWith("text ", 3000)) last = *line;
    EXPECT_EQ(last, "text by consent");
    auto picture = testDesktop().capture.captureFrontWindow(fixture->id());
    ASSERT_TRUE(picture) << picture.error();
    EXPECT_GT(coloursOf(*picture), 2u) << "the picture is all one colour";

    const std::string token = home.path() + "/.local/share/velmor/screen-cast-token";
    EXPECT_EQ(fileMode(token), 0600u);
    EXPECT_FALSE(readFile(token).empty());

    // The next run's screen cast starts without a dialog: nobody answers one here.
    auto next = platform::openDesktop();
    auto again = next->services().capture.captureFrontWindow(fixture->id());
    ASSERT_TRUE(again) << again.error();
    EXPECT_GT(coloursOf(*again), 2u);
}

// A token the portal does not know is not consent: the dialog comes again. Refused dialogs
// are answered with what was refused and how to allow it, and the next call asks again.
TEST_F(GnomePortal, AStaleTokenAsksAgainAndARefusalSaysWhatToAllow) {
    writeFile(home.path() + "/.local/share/velmor/screen-cast-token", "not-a-token-the-portal-gave\n");
    auto desktop = platform::openDesktop();
    auto& services = desktop->services();
    ASSERT_NE(services.frames, nullptr);
    auto moved = services.input.movePointer(5, 5);
    ASSERT_FALSE(moved);
    EXPECT_NE(moved.error().find("consent pending"), std::string::npos) << moved.error();
    auto frame = services.frames->copy({0, 0, 16, 16});
    ASSERT_FALSE(frame);
    EXPECT_NE(frame.error().find("consent pending"), std::string::npos) << frame.error();

    const int32_t dialogs = portalDialogs();
    ASSERT_NE(dialogs, 0);
    AtspiProbe probe;
    std::string inputRefusal, screenRefusal;
    EXPECT_TRUE(eventually(
        [&] {
            probe.press(dialogs, "_Cancel Cancel");
            if (inputRefusal.empty())
                if (auto again = services.input.movePointer(5, 5); !again && again.error().find("the user refused") != std::string::npos)
                    inputRefusal = again.error();
            if (screenRefusal.empty())
                if (auto again = services.frames->copy({0, 0, 16, 16}); !again && again.error().find("the user refused") != std::string::npos)
                    screenRefusal = again.error();
            return !inputRefusal.empty() && !screenRefusal.empty();
        },
        20s))
        << "refused: [" << inputRefusal << "] [" << screenRefusal << "]";
    EXPECT_NE(inputRefusal.find("keyboard and pointer"), std::string::npos) << inputRefusal;
    EXPECT_NE(inputRefusal.find("Allow remote interaction"), std::string::npos) << inputRefusal;
    EXPECT_NE(screenRefusal.find("screen cast"), std::string::npos) << screenRefusal;
    EXPECT_NE(screenRefusal.find("Share"), std::string::npos) << screenRefusal;

    moved = services.input.movePointer(5, 5);
    EXPECT_NE(moved.error().find("consent pending"), std::string::npos) << moved.error();
}

// A token file that is not text (damaged, or not written by Velmor) cannot go out on the bus:
// it counts as no consent, and the user is asked.
TEST_F(GnomePortal, ATokenFileThatIsNotTextIsNoConsent) {
    writeFile(home.path() + "/.local/share/velmor/screen-cast-token", std::string("\xff\xfe\x01token\x80\n", 10));
    auto desktop = platform::openDesktop();
    ASSERT_NE(desktop->services().frames, nullptr);
    auto frame = desktop->services().frames->copy({0, 0, 16, 16});
    ASSERT_FALSE(frame);
    EXPECT_NE(frame.error().find("consent pending"), std::string::npos) << frame.error();
}

}  // namespace
}  // namespace velmor::test
