#include "tools/input_tools.h"

#include "automation/characters.h"
#include "automation/input_actions.h"
#include "automation/menu_actions.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <thread>

namespace velmor::tools {

using nlohmann::json;

namespace {

using namespace std::chrono_literals;

// How long the application gets to show the effect of an action answered without a diff
// (the agent asks for the state next).
constexpr auto kScrollSettle = 200ms;
constexpr auto kActionSettle = 300ms;

constexpr const char* kMissingPoint = "missing 'x' and 'y' coordinates";
constexpr const char* kMissingDrag = "missing coordinates (from_x, from_y, to_x, to_y)";
constexpr const char* kMissingPath = "missing 'path' array";

// Coordinates and amounts beyond what the platform takes are the caller's error; they
// are kept in range rather than wrapped.
int toInt(int64_t value) {
    return static_cast<int>(
        std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

void installInputTools(ToolRouter& router, automation::SessionManager& session, const InputToolServices& services) {
    auto actions = std::make_shared<automation::InputActions>(services.input, services.windows, services.applications);
    platform::Clipboard& clipboard = services.clipboard;
    platform::Menus& menus = services.menus;

    router.registry().handle("type_text", [&session, actions](const Arguments& args) {
        auto text = args.string("text");
        if (!text) return errorResult(missingField("text"));
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        session.followTarget(pid);
        if (auto done = actions->typeText(*text, pid); !done) return errorResult(done.error());
        session.awaitTargetSettled(pid);
        return answerOf(session.getStateDiff());
    });
    router.registry().handle("press_key", [&session, actions](const Arguments& args) {
        auto key = args.string("key");
        if (!key) return errorResult(missingField("key"));
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        session.followTarget(pid);
        if (auto done = actions->pressKey(*key, pid); !done) return errorResult(done.error());
        session.awaitTargetSettled(pid);
        return answerOf(session.getStateDiff());
    });
    router.registry().handle("click_at", [&session, actions](const Arguments& args) {
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        auto x = args.integer("x"), y = args.integer("y");
        if (!x || !y) return errorResult(kMissingPoint);
        std::string button = args.string("button").value_or("left");
        int64_t clicks = args.integer("clicks").value_or(1);
        if (auto done = actions->clickAt(toInt(*x), toInt(*y), pid, button, clicks); !done) return errorResult(done.error());
        std::this_thread::sleep_for(kActionSettle);
        return json{{"status", "clicked"}, {"x", *x}, {"y", *y}, {"button", button}, {"clicks", clicks}};
    });
    router.registry().handle("mouse_move", [&session, actions](const Arguments& args) {
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        auto x = args.integer("x"), y = args.integer("y");
        if (!x || !y) return errorResult(kMissingPoint);
        if (auto done = actions->mouseMove(toInt(*x), toInt(*y), pid); !done) return errorResult(done.error());
        return json{{"status", "moved"}, {"x", *x}, {"y", *y}};
    });
    router.registry().handle("scroll", [&session, actions](const Arguments& args) {
        auto deltaY = args.integer("delta_y");
        if (!deltaY) return errorResult(missingField("delta_y"));
        // Scrolling needs no session; with one, it must not go on once the target has quit.
        if (session.targetPid()) {
            if (auto target = session.liveTarget(); !target) return errorResult(target.error());
        }
        int64_t deltaX = args.integer("delta_x").value_or(0);
        if (auto done = actions->scroll(toInt(*deltaY), toInt(deltaX)); !done) return errorResult(done.error());
        std::this_thread::sleep_for(kScrollSettle);
        return json{{"status", "scrolled"}, {"delta_y", *deltaY}, {"delta_x", deltaX}};
    });
    router.registry().handle("drag", [&session, actions](const Arguments& args) {
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        auto fromX = args.integer("from_x"), fromY = args.integer("from_y");
        auto toX = args.integer("to_x"), toY = args.integer("to_y");
        if (!fromX || !fromY || !toX || !toY) return errorResult(kMissingDrag);
        double duration = args.real("duration").value_or(0.5);
        if (auto done =
                actions->drag(toInt(*fromX), toInt(*fromY), toInt(*toX), toInt(*toY), pid, duration); !done)
            return errorResult(done.error());
        return json{{"status", "dragged"}, {"from", {*fromX, *fromY}}, {"to", {*toX, *toY}}};
    });
    router.registry().handle("get_clipboard", [&clipboard](const Arguments&) {
        auto text = clipboard.text();
        if (!text) return errorResult(text.error());
        return json{{"text", *text}};
    });
    router.registry().handle("set_clipboard", [&clipboard](const Arguments& args) {
        auto text = args.string("text");
        if (!text) return errorResult(missingField("text"));
        if (auto copied = clipboard.setText(*text); !copied) return errorResult(copied.error());
        return json{{"status", "copied"}, {"length", automation::userCharacters(*text).size()}};
    });
    router.registry().handle("list_menus", [&session, &menus, actions](const Arguments&) {
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        return json{{"menus", automation::listMenus(menus, pid, [&] { return actions->focusTarget(pid); })}};
    });
    router.registry().handle("menu_click", [&session, &menus, actions](const Arguments& args) {
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        auto path = args.stringArray("path");
        if (!path) return errorResult(kMissingPath);
        // Menus are opened with the pointer, which must find the target's window in front.
        if (path->size() >= 2 && !actions->focusTarget(pid)) return errorResult(automation::kNoKeyboardFocus);
        session.followTarget(pid);
        if (auto done = automation::menuClick(menus, pid, *path); !done) return errorResult(done.error());
        session.awaitTargetSettled(pid);
        // A menu command changes the window like any other action: the agent gets the same
        // diff. Should the session have ended meanwhile, the click still happened.
        auto diff = session.getStateDiff();
        json answer = diff ? std::move(diff).value() : json::object();
        answer["status"] = "clicked";
        answer["path"] = *path;
        return answer;
    });
    router.registry().handle("menu_hover", [&session, &menus, actions](const Arguments& args) {
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        auto path = args.stringArray("path");
        if (!path) return errorResult(kMissingPath);
        if (!path->empty() && !actions->focusTarget(pid)) return errorResult(automation::kNoKeyboardFocus);
        if (auto done = automation::menuHover(menus, pid, *path); !done) return errorResult(done.error());
        return json{{"status", "opened"}, {"path", *path}};
    });
}

}  // namespace velmor::tools
