#include "automation/scroll_into_view.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

namespace velmor::automation {

namespace {

using namespace std::chrono_literals;
using Placement = platform::AccessibleElement::Placement;

// How long the application gets to move its rows after a request or a turn of the wheel.
constexpr auto kScrollSettle = 1000ms;
constexpr auto kPoll = 30ms;
// Turns of the wheel before giving up; a list of thousands of rows needs a few, as each turn
// is sized by how far the one before moved.
constexpr int kMaxWheelRounds = 12;
// Turns that moved nothing: the container has come to its end or does not scroll by wheel.
constexpr int kMaxStalledRounds = 2;
// The most one turn asks for, in pixels, before it has been seen how far the wheel moves.
constexpr int kFirstTurn = 200;
constexpr int kLargestTurn = 20'000;

int centreX(const platform::Frame& f) { return f.x + f.width / 2; }
int centreY(const platform::Frame& f) { return f.y + f.height / 2; }

bool inView(const Placement& place) {
    if (!place.frame) return false;
    const platform::Frame& shown = place.shown;
    int x = centreX(*place.frame), y = centreY(*place.frame);
    return shown.width > 0 && shown.height > 0 && x >= shown.x && x < shown.x + shown.width && y >= shown.y &&
           y < shown.y + shown.height;
}

// How far the element's centre lies from the middle of what its containers show, along one
// axis; 0 where it already lies within.
int offset(int centre, int start, int length) {
    if (centre >= start && centre < start + length) return 0;
    return centre - (start + length / 2);
}

bool samePlace(const std::optional<Placement>& a, const std::optional<Placement>& b) {
    if (!a || !b) return !a && !b;
    if (!a->frame || !b->frame) return !a->frame && !b->frame;
    return a->frame->x == b->frame->x && a->frame->y == b->frame->y;
}

// The placement once the application has moved its rows away from `before` and come to rest
// (a turn of many notches arrives as many events), or as it is after the settle.
std::optional<Placement> placementAfterMove(platform::AccessibleElement& element, const Placement& before) {
    auto deadline = std::chrono::steady_clock::now() + kScrollSettle;
    std::optional<Placement> last = before;
    for (;;) {
        std::this_thread::sleep_for(kPoll);
        auto now = element.placement();
        bool resting = !samePlace(now, before) && samePlace(now, last);
        if (resting || std::chrono::steady_clock::now() >= deadline) return now;
        last = now;
    }
}

// One axis of the wheel: how many pixels to ask for so that `distance` is covered, from how
// far the last turn moved for what it asked.
struct WheelAxis {
    double movedPerAsked = 0;  // unknown until a turn moved something

    int ask(int distance) const {
        if (distance == 0) return 0;
        double wanted = movedPerAsked > 0 ? distance / movedPerAsked : std::clamp(distance, -kFirstTurn, kFirstTurn);
        return static_cast<int>(std::clamp(wanted, double(-kLargestTurn), double(kLargestTurn)));
    }
    void learn(int asked, int moved) {
        if (asked != 0 && moved != 0 && (asked > 0) == (moved > 0)) movedPerAsked = double(moved) / asked;
    }
};

// Needs to know where the element lies, to tell which way to turn.
bool scrollByWheel(platform::AccessibleElement& element, Placement place, InputActions& input, int32_t pid) {
    WheelAxis vertical, horizontal;
    int stalled = 0;
    for (int round = 0; round < kMaxWheelRounds && stalled < kMaxStalledRounds; ++round) {
        if (!place.frame) return false;
        const platform::Frame& frame = *place.frame;
        int dy = offset(centreY(frame), place.shown.y, place.shown.height);
        int dx = offset(centreX(frame), place.shown.x, place.shown.width);
        int askY = vertical.ask(dy), askX = horizontal.ask(dx);
        // Rows move up as the view scrolls down: the wheel goes the way the row lies.
        if (!input.scrollInTarget(place.shown, askY, askX, pid)) return false;
        auto after = placementAfterMove(element, place);
        if (!after || !after->frame) return false;
        if (inView(*after)) return true;
        int movedY = frame.y - after->frame->y, movedX = frame.x - after->frame->x;
        vertical.learn(askY, movedY);
        horizontal.learn(askX, movedX);
        stalled = movedY == 0 && movedX == 0 ? stalled + 1 : 0;
        place = *after;
    }
    return false;
}

}  // namespace

Result<bool> scrollIntoView(platform::AccessibleElement& element, const std::string& label, InputActions& input,
                            int32_t pid) {
    auto place = element.placement();
    if (!place || inView(*place)) return false;
    // Asked of the application first: its own scrolling knows where the element lies even
    // where the element does not say (GTK 3 scrolls a tree view to the row given the focus).
    auto nowInView = [&] {
        auto after = placementAfterMove(element, *place);
        if (after) place = after;
        return after && inView(*after);
    };
    if (element.scrollToVisible() && nowInView()) return true;
    if (element.focus().ok() && nowInView()) return true;
    if (scrollByWheel(element, *place, input, pid)) return true;
    return fail("'" + label + "' is scrolled out of view and could not be scrolled into it; nothing was pressed. "
                "Scroll its list to it and call get_page_info.");
}

}  // namespace velmor::automation
