#pragma once

#include "automation/own_processes.h"
#include "base/result.h"
#include "platform/applications.h"
#include "platform/input.h"
#include "platform/windows.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velmor::automation {

// The answer when input would have to go to the target but none of its windows takes the
// keyboard focus: sent anyway, it would reach whatever window has it.
inline constexpr const char* kNoKeyboardFocus =
    "the target application has no window that takes the keyboard focus; nothing was sent";

// Typing, key combinations and pointer actions on the target application. Keyboard input
// goes to the target's window, which is activated first when it does not have the focus.
// Keys, clicks and drags are refused (kOwnWindow) while a window of Velmor's own has the
// focus, which the agent must not take from the person that window asks; pointer input is
// refused where such a window lies under a point it would press, move over or scroll at.
// Pointer coordinates are relative to the top left of the target's focused window (its
// frame), or absolute when it has none.
class InputActions {
public:
    InputActions(platform::Input& input, platform::Windows& windows, platform::Applications& applications)
        : input_(input), windows_(windows), applications_(applications) {}

    // One character at a time, 0.02 s apart.
    Result<void> typeText(const std::string& text, int32_t pid);
    Result<void> pressKey(const std::string& combo, int32_t pid);
    // `clicks` presses in quick succession (two make a double click); 0 only moves there.
    Result<void> clickAt(int x, int y, int32_t pid, const std::string& button, int64_t clicks);
    Result<void> mouseMove(int x, int y, int32_t pid);
    Result<void> scroll(int deltaY, int deltaX);
    // Presses the left button at the start, moves to the end in max(10, 60 x duration)
    // steps spread over `duration` seconds, and releases it there.
    Result<void> drag(int fromX, int fromY, int toX, int toY, int32_t pid, double duration);

    // Clicks the left button at the centre of `area` (screen coordinates), a part of the
    // target's user interface, as a user would: the target is brought forward first. False,
    // with nothing clicked, when the centre does not lie in the target's focused window, so
    // that the click would land elsewhere.
    bool clickInTarget(const platform::Frame& area, int32_t pid);
    // Clicks the left button at the centre of `area`, a popup of the target that opened in a
    // window of its own (a combo box's list, which may reach below the target's window).
    // False, with nothing clicked, when a window of another application is in front there.
    bool clickInTargetPopup(const platform::Frame& area, int32_t pid);
    // Turns the wheel by pixel amounts (positive: down and right) with the pointer at the
    // centre of `area`, as clickInTarget clicks there; false, with nothing sent, where
    // clickInTarget would not click.
    bool scrollInTarget(const platform::Frame& area, int deltaY, int deltaX, int32_t pid);
    // Gives the target the keyboard focus; false when none of its windows takes it.
    bool focusTarget(int32_t pid);

private:
    struct Point {
        int x, y;
    };
    Point onScreen(int x, int y, int32_t pid);
    // The centre of `area` once the target is in front, when that centre lies in the
    // target's focused window and in no window of Velmor's own.
    std::optional<Point> centreInTarget(const platform::Frame& area, int32_t pid);
    Result<void> click(Point point, platform::MouseButton button, int64_t clicks);
    // One press and release of the left button at the point, as a user makes it.
    bool pressLeftAt(Point point);
    // Fail with kOwnWindow when a window of Velmor's own lies under the point, or has the focus.
    Result<void> notOwnWindowAt(Point point);
    Result<void> notOwnWindowFocused();

    const OwnProcesses own_ = velmorProcesses();

    platform::Input& input_;
    platform::Windows& windows_;
    platform::Applications& applications_;
};

}  // namespace velmor::automation
