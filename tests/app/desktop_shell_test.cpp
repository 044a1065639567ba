// The real velmor on the virtual desktop with a system tray (trayer), its tray menu, setup
// guide and settings window driven through Velmor's own accessibility backend the way a
// user would: what lands on the clipboard is read back with xclip, what lands on disk from
// the files. Screenshots of the three surfaces are kept in the build directory.
#include "support/child_process.h"
#include "support/eventually.h"
#include "support/private_network.h"
#include "support/running_velmor.h"
#include "support/temp_home.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <atomic>
#include <thread>
#include <atspi/atspi.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <tuple>

namespace velmor {
namespace {

using test::commandOutput;

using nlohmann::json;

// An accessible object reference, released when it goes.
struct Release {
    void operator()(AtspiAccessible* object) const { g_object_unref(object); }
};
using Object = std::unique_ptr<AtspiAccessible, Release>;
using namespace std::chrono_literals;

const auto* const kPrivateNetwork = ::testing::AddGlobalTestEnvironment(new test::PrivateNetworkEnvironment);

std::string trimmed(std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

const std::string kBridge = std::filesystem::path(VELMOR_BINARY).parent_path().string() + "/velmor-bridge";

// What a client needs to start the bridge, as a configuration file of its own holds it.
const json kClientEntry = {{"mcpServers", {{"velmor", {{"type", "stdio"}, {"command", kBridge}}}}}};

json parsed(const std::string& text) { return json::parse(text, nullptr, /*allow_exceptions=*/false); }

// What the permission cards can say: green, or what is missing.
const char* const kCardStates[] = {"Granted", "Not yet", "open an application", "needs Accessibility",
                                   "start Chromium with --remote-debugging-port=9222"};

class DesktopShell : public ::testing::Test {
protected:
    void SetUp() override {
        atspi_init();
        const char* display = std::getenv("DISPLAY");
        ASSERT_TRUE(display && *display) << "desktop tests need the virtual desktop (scripts/desktop-stack-up.sh)";
        if (!test::PrivateNetworkEnvironment::error.empty())
            GTEST_SKIP() << "no private network namespace: " << test::PrivateNetworkEnvironment::error;
        // A panel with a system tray, as the user's desktop has one.
        tray = std::make_unique<test::ChildProcess>(std::vector<std::string>{
            "/bin/sh", "-c",
            "exec trayer --edge top --align right --widthtype request --height 32 --SetDockType true "
            "--expand false >/dev/null 2>&1"});
    }

    void TearDown() override {
        if (velmor) velmor->signal(SIGTERM);
    }

    void startVelmor(bool guideDone) {
        test::writeFile(home.path() + "/.config/velmor/defaults.json",
                        guideDone ? R"({"velmor_onboarding_complete":true})" : "{}");
        velmor = test::startVelmor(home.path());
        ASSERT_TRUE(velmor);
    }

    // Every object of velmor's accessible tree that is on screen, depth first, read afresh
    // from the application each time (its cache cleared: names change as the windows react).
    // With `scrolledAway`, also those a scrolled view keeps out of sight for now.
    void forEachElement(const std::function<bool(AtspiAccessible*)>& visit, bool scrolledAway = false) {
        AtspiAccessible* desktop = atspi_get_desktop(0);
        std::function<bool(AtspiAccessible*)> walk = [&](AtspiAccessible* object) {
            if (!hasState(object, scrolledAway ? ATSPI_STATE_VISIBLE : ATSPI_STATE_SHOWING)) return false;
            bool stop = visit(object);
            for (int i = 0, n = atspi_accessible_get_child_count(object, nullptr); !stop && i < n; ++i) {
                AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, nullptr);
                if (!child) continue;
                stop = walk(child);
                g_object_unref(child);
            }
            return stop;
        };
        for (int i = 0, n = atspi_accessible_get_child_count(desktop, nullptr); i < n; ++i) {
            AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, i, nullptr);
            if (!application) continue;
            if (atspi_accessible_get_process_id(application, nullptr) == static_cast<guint>(velmor->pid())) {
                atspi_accessible_clear_cache(application);
                for (int w = 0, windows = atspi_accessible_get_child_count(application, nullptr); w < windows; ++w) {
                    AtspiAccessible* window = atspi_accessible_get_child_at_index(application, w, nullptr);
                    bool stop = window && walk(window);
                    if (window) g_object_unref(window);
                    if (stop) break;
                }
            }
            g_object_unref(application);
        }
        g_object_unref(desktop);
    }

    // A string the library hands over, freed once copied.
    static std::string taken(gchar* text) {
        std::string copy = text ? text : "";
        g_free(text);
        return copy;
    }
    static std::string nameOf(AtspiAccessible* object) { return taken(atspi_accessible_get_name(object, nullptr)); }
    static std::string roleOf(AtspiAccessible* object) { return taken(atspi_accessible_get_role_name(object, nullptr)); }

    static bool hasState(AtspiAccessible* object, AtspiStateType state) {
        AtspiStateSet* states = atspi_accessible_get_state_set(object);
        bool has = atspi_state_set_contains(states, state);
        g_object_unref(states);
        return has;
    }
    static bool enabled(AtspiAccessible* object) { return hasState(object, ATSPI_STATE_SENSITIVE); }

    // What the object shows: a label's or field's text.
    static std::string textOf(AtspiAccessible* object) {
        AtspiText* text = atspi_accessible_get_text_iface(object);
        if (!text) return "";
        std::string result = taken(atspi_text_get_text(text, 0, -1, nullptr));
        g_object_unref(text);
        return result;
    }

    // The first object on screen with this name (spaces around it ignored) and role
    // ("push button", "menu item", ...); a reference the caller owns, null when none. With
    // `scrolledAway`, also one a scrolled view keeps out of sight for now.
    Object find(const std::string& title, const std::string& role = "", bool scrolledAway = false) {
        AtspiAccessible* found = nullptr;
        forEachElement([&](AtspiAccessible* object) {
            if (trimmed(nameOf(object)) != title || (!role.empty() && roleOf(object) != role)) return false;
            found = static_cast<AtspiAccessible*>(g_object_ref(object));
            return true;
        }, scrolledAway);
        return Object(found);
    }

    Object waitFor(const std::string& title, const std::string& role = "", bool scrolledAway = false) {
        Object found;
        test::eventually([&] { return (found = find(title, role, scrolledAway)) != nullptr; }, 15s);
        EXPECT_TRUE(found) << "no '" << title << "' on screen";
        return found;
    }

    // Through the object's action, which needs no place on screen: the guide's lower part
    // may be scrolled out of sight.
    void press(const std::string& title, const std::string& role = "") {
        Object object = waitFor(title, role, /*scrolledAway=*/true);
        if (!object) return;
        AtspiAction* action = atspi_accessible_get_action_iface(object.get());
        ASSERT_TRUE(action) << title;
        EXPECT_TRUE(atspi_action_do_action(action, 0, nullptr)) << title;
        g_object_unref(action);
    }

    static std::string placeholderOf(AtspiAccessible* field) {
        GHashTable* attributes = atspi_accessible_get_attributes(field, nullptr);
        std::string text;
        if (attributes) {
            if (auto* found = static_cast<const char*>(g_hash_table_lookup(attributes, "placeholder-text"))) text = found;
            g_hash_table_unref(attributes);
        }
        return text;
    }

    static void setText(AtspiAccessible* field, const std::string& text) {
        AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(field);
        ASSERT_TRUE(editable);
        EXPECT_TRUE(atspi_editable_text_set_text_contents(editable, text.c_str(), nullptr));
        g_object_unref(editable);
    }

    // What a user reads in velmor's windows: names and texts, in order.
    std::vector<std::string> texts(bool scrolledAway = false) {
        std::vector<std::string> all;
        forEachElement([&](AtspiAccessible* object) {
            for (const auto& text : {nameOf(object), textOf(object)})
                if (!text.empty()) all.push_back(text);
            return false;
        }, scrolledAway);
        return all;
    }

    bool showing(const std::string& text) {
        auto all = texts();
        return std::find(all.begin(), all.end(), text) != all.end();
    }

    // In a window, in sight or further down its scrolled view.
    bool shown(const std::string& text) {
        auto all = texts(/*scrolledAway=*/true);
        return std::find(all.begin(), all.end(), text) != all.end();
    }

    // The state a permission card shows: the first card state after its name.
    std::string cardState(const std::string& name) {
        auto all = texts(/*scrolledAway=*/true);
        auto at = std::find(all.begin(), all.end(), name);
        for (; at != all.end(); ++at)
            if (std::find(std::begin(kCardStates), std::end(kCardStates), *at) != std::end(kCardStates)) return *at;
        return "";
    }

    // Opens the tray menu with a click on velmor's icon in the panel. The icon may not be
    // in place or take clicks at once, so the click is repeated until the menu shows.
    void openTrayMenu() {
        int x = 0, y = 0;
        ASSERT_TRUE(test::eventually([&] { return iconPosition(x, y); }, 15s)) << "velmor's icon is not in the tray";
        Display* display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
        bool shown = false;
        for (int attempt = 0; attempt < 10 && !shown; ++attempt) {
            // Read again each time: before the tray takes it in, the icon sits at the corner.
            iconPosition(x, y);
            XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
            XTestFakeButtonEvent(display, 1, True, CurrentTime);
            XTestFakeButtonEvent(display, 1, False, CurrentTime);
            XFlush(display);
            shown = test::eventually([&] { return find("Copy MCP Config", "menu item") != nullptr; }, 2s);
        }
        XCloseDisplay(display);
        if (!shown) screenshot("tray-menu-missing");
        ASSERT_TRUE(shown) << "the tray menu did not open";
    }

    // The centres of the icons this test's velmor has embedded in the tray, from the X window
    // tree. Tests running beside this one may start a velmor of their own on the same display;
    // their icons are told apart by the process that made them.
    std::vector<std::pair<int, int>> iconPositions() const {
        static const std::regex line(
            R"rx((0x[0-9a-f]+) [^\n]*\("velmor" "[Vv]elmor"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))rx");
        std::string tree = commandOutput("xwininfo -root -tree 2>/dev/null");
        std::vector<std::pair<int, int>> centres;
        for (std::sregex_iterator it(tree.begin(), tree.end(), line), end; it != end; ++it) {
            int width = std::stoi((*it)[2]), height = std::stoi((*it)[3]);
            if (width < 16 || width > 64 || height < 16 || height > 64) continue;  // not the icon
            if (!velmor || windowOwner(std::stoul((*it)[1], nullptr, 16)) != velmor->pid()) continue;
            centres.emplace_back(std::stoi((*it)[4]) + width / 2, std::stoi((*it)[5]) + height / 2);
        }
        return centres;
    }

    // The process that made a window, from the _NET_WM_PID its toolkit sets; -1 when unknown.
    static pid_t windowOwner(unsigned long window) {
        Display* display = XOpenDisplay(nullptr);
        if (!display) return -1;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, left = 0;
        unsigned char* data = nullptr;
        pid_t owner = -1;
        const Atom property = XInternAtom(display, "_NET_WM_PID", False);
        if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count, &left,
                               &data) == Success &&
            data && count == 1 && format == 32)
            owner = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
        if (data) XFree(data);
        XCloseDisplay(display);
        return owner;
    }

    bool iconPosition(int& x, int& y) const {
        auto centres = iconPositions();
        if (centres.empty()) return false;
        std::tie(x, y) = centres.front();
        return true;
    }

    std::string clipboard() { return commandOutput("xclip -o -selection clipboard 2>/dev/null"); }

    // The whole screen as a PNG in the build directory, for a person to look at.
    void screenshot(const std::string& name) {
        std::string path = std::string(VELMOR_ARTEFACT_DIR) + "/" + name + ".png";
        std::filesystem::create_directories(VELMOR_ARTEFACT_DIR);
        std::string command = "ffmpeg -loglevel error -y -f x11grab -i \"$DISPLAY\" -frames:v 1 '" + path + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }

    std::string configPath() const { return home.path() + "/.velmor/config.json"; }

    test::TempHome home;
    std::unique_ptr<test::ChildProcess> tray;
    std::unique_ptr<test::ChildProcess> velmor;
};

TEST_F(DesktopShell, TrayMenuShowsTheLaunchStatusCopiesTheServerEntryAndStartsAtLogin) {
    startVelmor(/*guideDone=*/true);
    std::vector<std::string> items;
    std::vector<bool> enabled;
    auto readMenu = [&] {
        items.clear();
        enabled.clear();
        forEachElement([&](AtspiAccessible* object) {
            auto role = roleOf(object);
            if (role == "menu item" || role == "check menu item") {
                items.push_back(nameOf(object));
                enabled.push_back(DesktopShell::enabled(object));
            }
            return false;
        });
        return !items.empty();
    };
    // A popup menu closes when another window takes the pointer grab (the window manager
    // settling after the test before, say): then it is opened once more.
    openTrayMenu();
    if (!readMenu()) {
        openTrayMenu();
        readMenu();
    }
    // The accessibility line follows the desktop's switch, asked again every few seconds: a
    // first answer lost to a busy bus is mended while the menu is open.
    if (waitFor("Accessibility: Granted", "menu item")) readMenu();
    EXPECT_EQ(items, (std::vector<std::string>{"Velmor", "MCP: 127.0.0.1:19820", "WebSocket: 127.0.0.1:19821",
                                               "Accessibility: Granted", "Target: None", "Copy MCP Config",
                                               "Settings…", "Setup Guide…", "Start at Login", "Check for Updates…",
                                               "Quit Velmor"}));
    EXPECT_EQ(enabled, (std::vector<bool>{false, false, false, false, false, true, true, true, true, true, true}));
    // A tray menu has no window to take keyboard shortcuts, so it shows none.
    forEachElement([&](AtspiAccessible* object) {
        if (AtspiAction* action = atspi_accessible_get_action_iface(object)) {
            for (int i = 0, n = atspi_action_get_n_actions(action, nullptr); i < n; ++i)
                EXPECT_EQ(taken(atspi_action_get_key_binding(action, i, nullptr)).find("<Control>"), std::string::npos)
                    << nameOf(object);
            g_object_unref(action);
        }
        return false;
    });
    screenshot("tray-menu");

    // The copied entry is a configuration file's whole text, valid JSON on its own.
    press("Copy MCP Config");
    EXPECT_TRUE(test::eventually([&] { return parsed(clipboard()) == kClientEntry; })) << clipboard();

    const std::string autostart = home.path() + "/.config/autostart/velmor.desktop";
    openTrayMenu();
    press("Start at Login");
    ASSERT_TRUE(test::eventually([&] { return std::filesystem::exists(autostart); }));
    EXPECT_NE(test::readFile(autostart).find("Exec=\"" + std::string(VELMOR_BINARY) + "\"\n"), std::string::npos)
        << test::readFile(autostart);
    openTrayMenu();
    press("Start at Login");
    EXPECT_TRUE(test::eventually([&] { return !std::filesystem::exists(autostart); }));

    // Where the entry cannot be written, the user is told and the check mark stays off.
    std::filesystem::remove(home.path() + "/.config/autostart");
    test::writeFile(home.path() + "/.config/autostart", "not a folder");
    openTrayMenu();
    press("Start at Login");
    EXPECT_TRUE(waitFor("Velmor could not change Start at Login"));
    press("OK", "push button");
    openTrayMenu();
    Object atLogin = waitFor("Start at Login", "check menu item");
    ASSERT_TRUE(atLogin);
    EXPECT_FALSE(hasState(atLogin.get(), ATSPI_STATE_CHECKED));
    press("Start at Login");  // closes the menu, failing again
    press("OK", "push button");

    // This velmor runs from a build tree: it is updated from its source checkout.
    openTrayMenu();
    press("Check for Updates…");
    EXPECT_TRUE(waitFor("Velmor is updated from its source code"));
    std::string advice;
    for (const auto& text : texts())
        if (text.find("install-and-run.sh") != std::string::npos) advice = text;
    EXPECT_NE(advice.find("git pull"), std::string::npos) << advice;
    EXPECT_NE(advice.find(std::filesystem::path(VELMOR_BINARY).parent_path().string()), std::string::npos) << advice;
    press("OK", "push button");
    EXPECT_TRUE(test::eventually([&] { return !find("Velmor is updated from its source code"); }));
}

TEST_F(DesktopShell, GuideShowsAtFirstStartCopiesTheClientConfigurationGrantsAccessibilityAndIsRememberedWhenDone) {
    // The session's accessibility switch starts off, as on a desktop that never needed it.
    auto setAccessibility = [](bool on) {
        std::string command = std::string("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                                          "org.freedesktop.DBus.Properties.Set string:org.a11y.Status "
                                          "string:IsEnabled variant:boolean:") + (on ? "true" : "false") + " >/dev/null";
        return std::system(command.c_str()) == 0;
    };
    ASSERT_TRUE(setAccessibility(false));
    struct Restore {
        std::function<bool(bool)> set;
        ~Restore() { set(true); }
    } restore{setAccessibility};

    startVelmor(/*guideDone=*/false);
    waitFor("Say Hello to Velmor");
    for (const char* text : {"1. Connect to Your AI", "Add this MCP to your AI agent's config:", "Claude Code", "Codex",
                             "2. Grant Permissions", "Accessibility", "Browser Control", "App Menus", "Screen Capture",
                             "3. Browser Setup", "chromium --remote-debugging-port=9222",
                             "Voice setup and other settings available from the tray menu  ›  Settings"})
        EXPECT_TRUE(shown(text)) << text;
    std::string shownEntry;
    for (const auto& text : texts())
        if (text.find("mcpServers") != std::string::npos) shownEntry = text;
    EXPECT_EQ(parsed(shownEntry), kClientEntry) << shownEntry;
    for (const auto& text : texts(/*scrolledAway=*/true))
        EXPECT_EQ(text.find("mac"), std::string::npos) << text;  // this desktop's words only

    press("Copy", "push button");
    EXPECT_TRUE(test::eventually([&] { return clipboard() == shownEntry; })) << clipboard();
    EXPECT_EQ(parsed(clipboard()), kClientEntry);
    EXPECT_TRUE(waitFor("Copied!", "push button"));

    // Cards that are not green say what they need. The browser's DevTools port is closed;
    // accessibility turns "Granted" within a refresh after the grant.
    EXPECT_TRUE(test::eventually([&] { return cardState("Accessibility") == "Not yet"; }, 5s));
    EXPECT_EQ(cardState("App Menus"), "needs Accessibility");
    press("Grant All Permissions", "push button");
    EXPECT_TRUE(test::eventually([&] { return cardState("Accessibility") == "Granted"; }, 5s));
    EXPECT_EQ(cardState("Browser Control"), "start Chromium with --remote-debugging-port=9222");
    // With a card still orange, the button does not claim that everything is granted.
    Object start = waitFor("Waiting for permissions...", "push button", /*scrolledAway=*/true);
    ASSERT_TRUE(start);
    EXPECT_FALSE(enabled(start.get()));
    EXPECT_FALSE(find("All Permissions Granted", "push button", /*scrolledAway=*/true));
    screenshot("setup-guide");

    press("Done", "push button");
    EXPECT_TRUE(test::eventually([&] { return !find("Say Hello to Velmor"); }));
    // The tray, built while the switch was off, follows the grant.
    openTrayMenu();
    EXPECT_TRUE(waitFor("Accessibility: Granted", "menu item"));
    EXPECT_EQ(json::parse(test::readFile(home.path() + "/.config/velmor/defaults.json"))["velmor_onboarding_complete"],
              true);
}

// A laptop's 1366x768 screen of its own (Xvfb with a window manager): the guide opened there
// keeps its Done button on screen, read back from the X server and the accessibility bus.
TEST_F(DesktopShell, GuideOnASmallScreenKeepsDoneInView) {
    // A display number no server has taken: Xvfb's own choice (-displayfd) replaces the
    // socket file of a live display while it probes it, which leaves that display out of
    // reach for clients in another network namespace. Without -noreset the server starts
    // over when its first client (the readiness check) leaves, refusing the next one meanwhile.
    test::ChildProcess smallScreen(
        {"/bin/sh", "-c",
         "n=50; while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n+1)); done; echo $n; "
         "exec Xvfb :$n -screen 0 1366x768x24 -nolisten tcp -noreset 2>/dev/null"});
    std::string number;
    ASSERT_TRUE(smallScreen.readLine(number, 15000)) << "no free display";
    const std::string display = ":" + number;
    ASSERT_TRUE(test::eventually([&] {
        return commandOutput("xdpyinfo -display " + display + " 2>/dev/null").find("dimensions") != std::string::npos;
    }, 15s)) << "no second X server";
    test::ChildProcess windowManager({"/bin/sh", "-c", "exec openbox --sm-disable >/dev/null 2>&1"},
                                     {{"DISPLAY", display}});
    ASSERT_TRUE(test::eventually([&] {
        return commandOutput("DISPLAY=" + display + " xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null")
                   .find("window id") != std::string::npos;
    }, 15s));
    const std::string mainDisplay = std::getenv("DISPLAY");
    ::setenv("DISPLAY", display.c_str(), 1);
    startVelmor(/*guideDone=*/false);
    ::setenv("DISPLAY", mainDisplay.c_str(), 1);

    Object done = waitFor("Done", "push button");
    ASSERT_TRUE(done);
    // The window as the X server has it, frame included.
    std::string info;
    std::smatch found;
    static const std::regex geometry(
        R"(Absolute upper-left X:\s+(-?\d+)\s+Absolute upper-left Y:\s+(-?\d+)[\s\S]*Width:\s+(\d+)\s+Height:\s+(\d+))");
    ASSERT_TRUE(test::eventually([&] {
        info = commandOutput("DISPLAY=" + display + " xwininfo -name 'Velmor Setup Guide' 2>/dev/null");
        return std::regex_search(info, found, geometry);
    }, 15s)) << "the guide is not on the small screen";
    const int windowX = std::stoi(found[1]), windowY = std::stoi(found[2]);
    const int windowRight = windowX + std::stoi(found[3]), windowBottom = windowY + std::stoi(found[4]);
    EXPECT_GE(windowX, 0) << info;
    EXPECT_GE(windowY, 0) << info;
    EXPECT_LE(windowRight, 1366) << info;
    EXPECT_LE(windowBottom, 768) << info;
    // Done, on screen and inside the window: not scrolled away below it.
    AtspiComponent* component = atspi_accessible_get_component_iface(done.get());
    ASSERT_TRUE(component);
    AtspiRect* extents = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr);
    g_object_unref(component);
    ASSERT_TRUE(extents);
    EXPECT_GT(extents->width, 0);
    EXPECT_GT(extents->height, 0);
    EXPECT_GE(extents->x, windowX);
    EXPECT_GE(extents->y, windowY);
    EXPECT_LE(extents->x + extents->width, windowRight);
    EXPECT_LE(extents->y + extents->height, windowBottom);
    g_free(extents);

    ::setenv("DISPLAY", display.c_str(), 1);
    screenshot("setup-guide-1366x768");
    ::setenv("DISPLAY", mainDisplay.c_str(), 1);
    press("Done", "push button");
    EXPECT_TRUE(test::eventually([&] { return !find("Say Hello to Velmor"); }));
}

// An MCP client takes control of an application and lets it go: the tray's Target line
// follows. Settings, with no cloud key stored, are on the system voice.
TEST_F(DesktopShell, TargetLineFollowsTheSessionAndSettingsStartOnTheSystemVoice) {
    startVelmor(/*guideDone=*/true);
    test::ChildProcess editor({"/bin/sh", "-c", "exec mousepad >/dev/null 2>&1"});
    test::ChildProcess bridge({kBridge});
    int lastId = 0;
    // A tool's answer through the bridge, the tool lists' change notices passed over.
    auto call = [&](const std::string& name, const json& args) {
        const int id = ++lastId;
        bridge.writeStdin(json{{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"},
                               {"params", {{"name", name}, {"arguments", args}}}}.dump() + "\n");
        for (std::string line; bridge.readLine(line, 30000);) {
            json answer = parsed(line);
            if (answer.is_object() && answer.value("id", 0) == id) return answer.value("result", json::object());
        }
        ADD_FAILURE() << name << " got no answer";
        return json::object();
    };
    std::string app;
    json result;
    ASSERT_TRUE(test::eventually([&] {
        result = call("session_start", {{"app_name", "mousepad"}});
        if (result.value("isError", false)) return false;
        app = parsed(result["content"][0].value("text", "")).value("app", "");
        return !app.empty();
    }, 30s)) << "no session on mousepad: " << result;

    auto closeMenu = [] {
        Display* x = XOpenDisplay(nullptr);
        XTestFakeKeyEvent(x, XKeysymToKeycode(x, XK_Escape), True, CurrentTime);
        XTestFakeKeyEvent(x, XKeysymToKeycode(x, XK_Escape), False, CurrentTime);
        XCloseDisplay(x);
    };
    openTrayMenu();
    EXPECT_TRUE(waitFor("Target: " + app, "menu item"));
    closeMenu();

    json ended = call("session_end", json::object());
    EXPECT_FALSE(ended.value("isError", false)) << ended;
    openTrayMenu();
    EXPECT_TRUE(waitFor("Target: None", "menu item"));
    press("Settings…");
    EXPECT_TRUE(waitFor("System voice", "combo box"));
    Object key = waitFor("", "password text");
    ASSERT_TRUE(key);
    EXPECT_FALSE(enabled(key.get())) << "the system voice needs no key";
    bridge.closeStdin();
}

TEST_F(DesktopShell, SettingsOpenOnTheFirstProviderWithAKeySaveTheChoiceAndTestTheVoice) {
    test::writeFile(configPath(),
                    R"({"tts_provider":"deepgram","deepgram_api_key":"dg-stored","openai_api_key":"sk-proj-stored"})");
    startVelmor(/*guideDone=*/true);
    openTrayMenu();
    press("Settings…");
    waitFor("Velmor Settings");
    EXPECT_TRUE(waitFor("OpenAI", "combo box")) << "the first provider with a key, whatever tts_provider says";
    for (const char* text : {"Settings", "Voice Provider",
                             "For narrated demo recordings. Choose a TTS provider and enter your API key.", "Provider",
                             "API Key", "Test Voice", "Save"})
        EXPECT_TRUE(showing(text)) << text;
    screenshot("settings");

    // Deepgram chosen, a new key typed and saved: the file keeps the other keys, private.
    press("OpenAI", "combo box");
    press("Deepgram", "menu item");
    EXPECT_TRUE(waitFor("Deepgram", "combo box"));
    Object key = waitFor("", "password text");
    ASSERT_TRUE(key);
    EXPECT_EQ(placeholderOf(key.get()), "dg-...");
    setText(key.get(), "dg-new-key");
    press("Save", "push button");
    EXPECT_TRUE(test::eventually([&] { return showing("Saved!"); }, 5s));
    json config = json::parse(test::readFile(configPath()));
    EXPECT_EQ(config["tts_provider"], "deepgram");
    EXPECT_EQ(config["deepgram_api_key"], "dg-new-key");
    EXPECT_EQ(config["openai_api_key"], "sk-proj-stored");
    EXPECT_TRUE(config.contains("token"));
    EXPECT_EQ(test::fileMode(configPath()), 0600u);

    // An empty key is stored as such; testing without one asks for one.
    setText(key.get(), "");
    press("Save", "push button");
    EXPECT_TRUE(test::eventually([&] { return json::parse(test::readFile(configPath()))["deepgram_api_key"] == ""; }, 5s));
    press("Test Voice", "push button");
    EXPECT_TRUE(test::eventually([&] { return showing("Enter an API key first."); }, 5s));

    // With a key, the test speaks off the main loop; the vendor is out of reach here, so it
    // fails, says why, and the window answered all along.
    setText(key.get(), "dg-unreachable");
    press("Test Voice", "push button");
    std::string failure;
    EXPECT_TRUE(test::eventually([&] {
        for (const auto& text : texts())
            if (text.rfind("Failed: ", 0) == 0) failure = text;
        return !failure.empty();
    }, 30s));
    Object testButton = waitFor("Test Voice", "push button");
    ASSERT_TRUE(testButton);
    EXPECT_TRUE(enabled(testButton.get()));
}

// One Velmor per user: started again, velmor says so, brings up the running one's guide
// and ends with status 0; the tray keeps one icon.
TEST_F(DesktopShell, ASecondStartShowsTheRunningVelmorsGuideAndLeavesOneTrayIcon) {
    startVelmor(/*guideDone=*/true);
    int x = 0, y = 0;
    ASSERT_TRUE(test::eventually([&] { return iconPosition(x, y); }, 15s)) << "velmor's icon is not in the tray";
    EXPECT_FALSE(find("Say Hello to Velmor"));

    test::ChildProcess second({VELMOR_BINARY}, test::velmorEnvironment(home.path()));
    std::string said;
    ASSERT_TRUE(second.readLine(said, 15000));
    EXPECT_EQ(said, "Velmor is already running; its setup guide is open.");
    EXPECT_EQ(second.wait(5000), 0);
    EXPECT_TRUE(waitFor("Say Hello to Velmor"));
    EXPECT_EQ(iconPositions().size(), 1u);
}

// Asks the running velmor, through a bridge, for applications, the clipboard and windows
// over and over on a thread of its own, as an agent does while the user looks around.
class ToolCallLoad {
public:
    ToolCallLoad() : bridge_({kBridge}), thread_([this] { run(); }) {}
    ~ToolCallLoad() {
        stop_ = true;
        thread_.join();
        bridge_.closeStdin();
        bridge_.wait(5000);
    }
    int answered() const { return answered_; }

private:
    void run() {
        static const char* const kTools[] = {"list_apps", "get_clipboard", "get_windows"};
        for (int id = 1; !stop_; ++id) {
            json call = {{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"},
                         {"params", {{"name", kTools[id % 3]}, {"arguments", json::object()}}}};
            bridge_.writeStdin(call.dump() + "\n");
            std::string line;
            if (!bridge_.readLine(line, 10000)) return;  // velmor is gone: the walk says so
            if (json::parse(line, nullptr, false).contains("result")) ++answered_;
        }
    }

    test::ChildProcess bridge_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

// Closes the process's top-level window with this title as its close button does: the
// window manager's WM_DELETE_WINDOW request. Another process's window of the same title (a
// Velmor that a test running beside this one started on the same display) is left alone.
bool closeWindow(const std::string& title, pid_t owner) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    auto pidOf = [&](Window window) -> pid_t {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        pid_t pid = 0;
        if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                               &data) == Success &&
            data && format == 32 && items == 1)
            pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
        if (data) XFree(data);
        return pid;
    };
    std::function<bool(Window)> visit = [&](Window window) {
        char* name = nullptr;
        bool match = XFetchName(display, window, &name) && name && title == name && pidOf(window) == owner;
        if (name) XFree(name);
        if (match) {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = window;
            event.xclient.message_type = protocols;
            event.xclient.format = 32;
            event.xclient.data.l[0] = static_cast<long>(deleteWindow);
            event.xclient.data.l[1] = CurrentTime;
            XSendEvent(display, window, False, NoEventMask, &event);
            return true;
        }
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count)) return false;
        bool found = false;
        for (unsigned i = 0; i < count && !found; ++i) found = visit(children[i]);
        if (children) XFree(children);
        return found;
    };
    bool closed = visit(DefaultRootWindow(display));
    XCloseDisplay(display);
    return closed;
}

// The tray walk: Velmor started for the first time (the guide opens), then its tray menu
// clicked and Settings and the guide opened and closed from it, again and again, while a
// client keeps calling tools. Every start must end in order on SIGTERM: a process that
// died on the way (a crash, or a fault the address sanitizer caught) ends otherwise. Ten
// starts of five walks each take about a minute and a half on the test desktop.
class TrayWalk : public DesktopShell {
protected:
    static constexpr int kStarts = 10;
    static constexpr int kWalksPerStart = 5;

    void walk(const std::string& binary) {
        int answered = 0;
        for (int start = 0; start < kStarts && !HasFatalFailure(); ++start) {
            test::TempHome fresh;
            test::writeFile(fresh.path() + "/.config/velmor/defaults.json", "{}");
            velmor = test::startVelmor(fresh.path(), {binary});
            ASSERT_TRUE(velmor);
            ToolCallLoad load;
            ASSERT_TRUE(waitFor("Say Hello to Velmor")) << "start " << start;
            for (int walk = 0; walk < kWalksPerStart; ++walk) {
                ASSERT_TRUE(closeWindow("Velmor Setup Guide", velmor->pid()));
                ASSERT_TRUE(test::eventually([&] { return !find("Say Hello to Velmor"); }, 15s));
                openTrayMenu();
                press("Settings…");
                ASSERT_TRUE(waitFor("Velmor Settings")) << "start " << start << ", walk " << walk;
                ASSERT_TRUE(closeWindow("Velmor Settings", velmor->pid()));
                ASSERT_TRUE(test::eventually([&] { return !find("Velmor Settings"); }, 15s));
                openTrayMenu();
                press("Setup Guide…");
                ASSERT_TRUE(waitFor("Say Hello to Velmor")) << "start " << start << ", walk " << walk;
            }
            answered += load.answered();
            velmor->signal(SIGTERM);
            int status = velmor->wait(10000);
            std::string errors = velmor->drainStderr();
            EXPECT_EQ(status, 0) << "start " << start << ": " << errors;
            // A normal start says nothing of its toolkit's warnings.
            EXPECT_EQ(errors.find("Gtk-"), std::string::npos) << errors;
            velmor.reset();
        }
        EXPECT_GT(answered, 0) << "no tool call was answered during the walks";
    }
};

TEST_F(TrayWalk, FirstStartsSurviveTheTrayMenuSettingsAndGuideWhileToolsRun) { walk(VELMOR_BINARY); }

// The same walk on velmor with AddressSanitizer, which turns a double or foreign free, a
// corrupted heap (and, in instrumented code, a use of freed or unowned memory) into a
// report and an abort: the build's velmor-asan, or the fully instrumented program that
// VELMOR_ASAN_BINARY names (scripts/build-asan.sh).
TEST_F(TrayWalk, FirstStartsOfTheAddressSanitizerBuildSurviveTheSameWalk) {
    const char* chosen = std::getenv("VELMOR_ASAN_BINARY");
    setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1", 1);
    walk(chosen && *chosen ? chosen : VELMOR_ASAN_BUILD_BINARY);
}

}  // namespace
}  // namespace velmor
