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

#include <png.h>

#include <cstdlib>
#include <fstream>
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

// The process id of the portal's dialogs, from the desktop's list of processes.
int32_t portalDialogs() {
    const char* stack = std::getenv("VELMOR_MUTTER_STACK");
    std::ifstream pids(std::string(stack ? stack : "") + "/pids");
    int32_t pid = 0;
    std::string name;
    while (pids >> pid >> name)
        if (name == "xdg-desktop-portal-gnome") return pid;
    return 0;
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
    json typed = call("type_text", {{"text", "by consent"}});
    EXPECT_NE(typed.value("error", "").find("consent pending"), std::string::npos) << typed.dump();
    EXPECT_NE(typed.value("error", "").find("keyboard and pointer"), std::string::npos) << typed.dump();
    json shot = call("screenshot");
    EXPECT_NE(shot.value("error", "").find("consent pending"), std::string::npos) << shot.dump();
    EXPECT_NE(shot.value("error", "").find("screen cast"), std::string::npos) << shot.dump();

    const int32_t dialogs = portalDialogs();
    ASSERT_NE(dialogs, 0) << "the portal's dialogs are not running";
    AtspiProbe probe;
    ASSERT_TRUE(probe.connected());
    EXPECT_TRUE(eventually(
        [&] {
            probe.press(dialogs, "Share");
            return !call("screenshot").contains("error") && !call("mouse_move", {{"x", 1}, {"y", 1}}).contains("error");
        },
        20s))
        << "the dialogs were not answered: " << json(probe.textsOf(dialogs)).dump();

    call("activate_app");
    typed = call("type_text", {{"text", "by consent"}});
    EXPECT_FALSE(typed.contains("error")) << typed.dump();
    EXPECT_TRUE(fixture->printed("text by consent")) << "the typed text never reached the field";
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

}  // namespace
}  // namespace velmor::test
