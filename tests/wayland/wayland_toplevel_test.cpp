// The window tools on a wlroots compositor without sway's IPC: the real headless sway, with
// Velmor kept from its IPC socket, so the windows come from the compositor's toplevel list
// (zwlr_foreign_toplevel_manager_v1) alone. Each effect is checked through sway's IPC.
#include "desktop_test.h"
#include "wayland_stack.h"

#include "fixtures/desktop_listing.h"
#include "support/eventually.h"

#include <map>

namespace velmor::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class WaylandWithoutSwayIpc : public DesktopSessionTest {
protected:
    void SetUp() override {
        ASSERT_EQ(waylandStackMissing(), "");
        ASSERT_EQ(std::getenv("SWAYSOCK"), nullptr) << "Velmor was meant not to know sway's IPC socket";
        DesktopSessionTest::SetUp();
    }
};

json windowOf(int32_t pid) {
    return swayWindow([&](const json& node) { return node.value("pid", 0) == pid; });
}

TEST_F(WaylandWithoutSwayIpc, WindowsAreListedAndActivatedThroughTheToplevelList) {
    auto fixture = launchFixture({});
    auto calculator = launch({"gnome-calculator"});
    ASSERT_TRUE(fixture && calculator);

    // Each application is told by its window's app id, joined to its process by the title.
    json apps = call("list_apps").at("apps");
    std::map<std::string, std::string> bundleByPid;
    for (const auto& app : apps) bundleByPid[app.at("pid")] = app.at("bundle_id");
    EXPECT_EQ(bundleByPid[std::to_string(fixture->id())], windowOf(fixture->id()).value("app_id", "?")) << apps.dump();
    EXPECT_EQ(bundleByPid[std::to_string(calculator->id())], "org.gnome.Calculator") << apps.dump();

    json started = call("session_start", {{"app_name", fixtureName(*fixture)}});
    ASSERT_FALSE(started.contains("error")) << started.dump();
    json windows = call("get_windows").at("windows");
    ASSERT_EQ(windows.size(), 1u) << windows.dump();
    EXPECT_EQ(windows[0].value("title", ""), "Velmor Fixture");
    // The size is the accessible window's: the compositor tells no sizes through this list.
    EXPECT_EQ(windows[0].value("width", 0), windowOf(fixture->id()).at("rect").value("width", -1)) << windows.dump();

    // Activation takes the focus back from the window that has it.
    ASSERT_TRUE(swaymsg("'[pid=" + std::to_string(calculator->id()) + "] focus'").is_array());
    ASSERT_TRUE(eventually([&] { return focusedPidBySway() == calculator->id(); }, 5s));
    json activated = call("activate_app");
    EXPECT_FALSE(activated.contains("error")) << activated.dump();
    EXPECT_TRUE(eventually([&] { return focusedPidBySway() == fixture->id(); }, 5s))
        << "sway gave the focus to " << focusedPidBySway();

    // Moving a window takes sway's IPC, and the answer says so rather than claiming it moved.
    json moved = call("set_window_frame", {{"x", 100}, {"y", 50}, {"width", 640}, {"height", 480}});
    EXPECT_NE(moved.value("error", "").find("SWAYSOCK"), std::string::npos) << moved.dump();
}

}  // namespace
}  // namespace velmor::test
