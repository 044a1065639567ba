#include "automation/input_actions.h"

#include "automation/characters.h"
#include "automation/key_combo.h"
#include "base/call_context.h"
#include "base/wait_bounds.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace velmor::automation {

namespace {

using namespace std::chrono_literals;

constexpr auto kAfterMove = 50ms;
constexpr auto kButtonHeld = 20ms;
constexpr auto kAfterClick = 50ms;
constexpr int kDragEventsPerSecond = 60;
constexpr int kMinDragSteps = 10;
// How long the window manager gets to hand the focus over.
constexpr auto kFocusTimeout = 1000ms;
constexpr auto kFocusPoll = 5ms;

}  // namespace

bool InputActions::focusTarget(int32_t pid) {
    if (windows_.focusedWindowOf(pid)) return true;
    // Whether it worked shows in the focus.
    static_cast<void>(applications_.activate(pid));
    auto deadline = std::chrono::steady_clock::now() + kFocusTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (windows_.focusedWindowOf(pid)) return true;
        std::this_thread::sleep_for(kFocusPoll);
    }
    return false;
}

InputActions::Point InputActions::onScreen(int x, int y, int32_t pid) {
    auto window = windows_.focusedWindowOf(pid);
    if (!window) return {x, y};
    return {window->frame.x + x, window->frame.y + y};
}

Result<void> InputActions::typeText(const std::string& text, int32_t pid) {
    VELMOR_RETURN_IF_FAILED(notOwnWindowFocused());
    if (!focusTarget(pid)) return fail(kNoKeyboardFocus);
    // Keys go wherever the focus is: once the target loses it (it quit, or another window
    // came forward) the rest of the text would land in another application. A cancelled call
    // types no further character either.
    const CallContext& call = currentCall();
    auto typed = input_.typeCharacters(userCharacters(text), [this, pid, &call] {
        return !call.cancelled() && windows_.focusedWindowOf(pid).has_value();
    });
    if (!typed && call.cancelled()) return fail("typing cancelled");
    return typed;
}

Result<void> InputActions::pressKey(const std::string& combo, int32_t pid) {
    auto keys = parseKeyCombo(combo);
    VELMOR_RETURN_IF_FAILED(keys);
    VELMOR_RETURN_IF_FAILED(notOwnWindowFocused());
    if (!focusTarget(pid)) return fail(kNoKeyboardFocus);
    return input_.pressKey(keys->key, keys->modifiers);
}

Result<void> InputActions::clickAt(int x, int y, int32_t pid, const std::string& button,
                                                 int64_t clicks) {
    auto which = button == "right" ? platform::MouseButton::right : platform::MouseButton::left;
    return click(onScreen(x, y, pid), which, clicks);
}

std::optional<InputActions::Point> InputActions::centreInTarget(const platform::Frame& area, int32_t pid) {
    if (area.width <= 0 || area.height <= 0 || !focusTarget(pid)) return std::nullopt;
    auto window = windows_.focusedWindowOf(pid);
    if (!window) return std::nullopt;
    Point centre{area.x + area.width / 2, area.y + area.height / 2};
    const platform::Frame& frame = window->frame;
    if (centre.x < frame.x || centre.y < frame.y || centre.x >= frame.x + frame.width ||
        centre.y >= frame.y + frame.height)
        return std::nullopt;
    if (!notOwnWindowAt(centre).ok()) return std::nullopt;
    return centre;
}

bool InputActions::clickInTarget(const platform::Frame& area, int32_t pid) {
    auto centre = centreInTarget(area, pid);
    return centre && pressLeftAt(*centre);
}

bool InputActions::clickInTargetPopup(const platform::Frame& area, int32_t pid) {
    if (area.width <= 0 || area.height <= 0) return false;
    Point centre{area.x + area.width / 2, area.y + area.height / 2};
    // Popups are not among the windows the window manager stacks: the one found there is the
    // window beneath, which may only be the target's own or none.
    auto owner = windows_.processAt(centre.x, centre.y);
    if ((owner && *owner != pid) || !notOwnWindowAt(centre).ok()) return false;
    return pressLeftAt(centre);
}

bool InputActions::pressLeftAt(Point point) {
    // Without the pauses of click_at: the settle that follows every element action gives the
    // application its time.
    if (!input_.movePointer(point.x, point.y)) return false;
    std::this_thread::sleep_for(kButtonHeld);
    if (!input_.setButton(platform::MouseButton::left, true)) return false;
    std::this_thread::sleep_for(kButtonHeld);
    return input_.setButton(platform::MouseButton::left, false).ok();
}

bool InputActions::scrollInTarget(const platform::Frame& area, int deltaY, int deltaX, int32_t pid) {
    auto centre = centreInTarget(area, pid);
    if (!centre || !input_.movePointer(centre->x, centre->y)) return false;
    std::this_thread::sleep_for(kAfterMove);
    return input_.scroll(deltaY, deltaX).ok();
}

Result<void> InputActions::notOwnWindowAt(Point point) {
    auto owner = windows_.processAt(point.x, point.y);
    if (owner && own_.owns(*owner)) return fail(kOwnWindow);
    return succeeded();
}

Result<void> InputActions::notOwnWindowFocused() {
    auto owner = windows_.processWithFocus();
    if (owner && own_.owns(*owner)) return fail(kOwnWindow);
    return succeeded();
}

Result<void> InputActions::click(Point point, platform::MouseButton which, int64_t clicks) {
    // A press anywhere would take the focus from the window that asks the user.
    VELMOR_RETURN_IF_FAILED(notOwnWindowFocused());
    VELMOR_RETURN_IF_FAILED(notOwnWindowAt(point));
    VELMOR_RETURN_IF_FAILED(input_.movePointer(point.x, point.y));
    std::this_thread::sleep_for(kAfterMove);
    // Toolkits count presses close together in time and place as one multiple click.
    for (int64_t n = 1; n <= clicks; ++n) {
        VELMOR_RETURN_IF_FAILED(input_.setButton(which, true));
        std::this_thread::sleep_for(kButtonHeld);
        VELMOR_RETURN_IF_FAILED(input_.setButton(which, false));
        std::this_thread::sleep_for(kAfterClick);
    }
    return succeeded();
}

Result<void> InputActions::mouseMove(int x, int y, int32_t pid) {
    Point point = onScreen(x, y, pid);
    // Hovering opens menus and tooltips too.
    VELMOR_RETURN_IF_FAILED(notOwnWindowAt(point));
    return input_.movePointer(point.x, point.y);
}

Result<void> InputActions::scroll(int deltaY, int deltaX) {
    if (auto at = windows_.pointer()) {
        VELMOR_RETURN_IF_FAILED(notOwnWindowAt({at->x, at->y}));
    }
    return input_.scroll(deltaY, deltaX);
}

Result<void> InputActions::drag(int fromX, int fromY, int toX, int toY, int32_t pid, double duration) {
    if (!std::isfinite(duration) || duration < 0) return fail("the drag duration must be a number of seconds, 0 or more");
    if (auto allowed = checkWaitLength(std::chrono::milliseconds(static_cast<int64_t>(std::min(duration, 1e9) * 1000))); !allowed)
        return fail("drag refused: " + allowed.error());
    VELMOR_RETURN_IF_FAILED(notOwnWindowFocused());
    Point from = onScreen(fromX, fromY, pid);
    Point to = onScreen(toX, toY, pid);
    for (Point end : {from, to}) {
        VELMOR_RETURN_IF_FAILED(notOwnWindowAt(end));
    }
    VELMOR_RETURN_IF_FAILED(input_.movePointer(from.x, from.y));
    std::this_thread::sleep_for(kAfterMove);
    VELMOR_RETURN_IF_FAILED(input_.setButton(platform::MouseButton::left, true));
    int steps = std::max(static_cast<int>(duration * kDragEventsPerSecond), kMinDragSteps);
    auto pause = std::chrono::duration<double>(duration / steps);
    for (int i = 1; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps;
        int x = static_cast<int>(std::lround(from.x + (to.x - from.x) * t));
        int y = static_cast<int>(std::lround(from.y + (to.y - from.y) * t));
        if (auto moved = input_.movePointer(x, y); !moved) {
            // The move's failure is the one to report; the release is only tidying up.
            static_cast<void>(input_.setButton(platform::MouseButton::left, false));
            return moved;
        }
        if (!currentCall().waitFor(std::chrono::duration_cast<std::chrono::steady_clock::duration>(pause))) {
            static_cast<void>(input_.setButton(platform::MouseButton::left, false));
            return fail("drag cancelled");
        }
    }
    return input_.setButton(platform::MouseButton::left, false);
}

}  // namespace velmor::automation
