#include "automation/cell_filling.h"

#include "base/outside_text.h"
#include "platform/scan_budget.h"

#include <cctype>
#include <chrono>
#include <thread>
#include <vector>

namespace velmor::automation {

namespace {

using platform::ElementRole;

using namespace std::chrono_literals;
using platform::ElementRef;

constexpr int kSearchDepth = 20;
// Beyond the largest sheets there are (16,384 columns, 1,048,576 rows), with room to spare.
constexpr size_t kMostColumnLetters = 3;
constexpr size_t kMostRowDigits = 7;
// How long the Name Box gets to take the focus, the sheet to go to the cell, and then to
// show what was entered.
constexpr auto kFocusTimeout = 500ms;
constexpr auto kMoveTimeout = 2000ms;
constexpr auto kShowTimeout = 2000ms;
constexpr auto kPoll = 30ms;

// The sheet, and the field that shows the current cell's address.
struct SheetParts {
    ElementRef grid;
    ElementRef addressField;
};

bool isField(ElementRole role) {
    return role == ElementRole::textField || role == ElementRole::textArea || role == ElementRole::comboBox;
}

// Depth first in the windows' order, within a scan's budget. A grid's cells are not
// descended into: they are reached by their place.
void findSheetParts(const ElementRef& element, int depth, platform::ScanBudget& budget, SheetParts& found) {
    if (found.grid && found.addressField) return;
    if (depth >= kSearchDepth || !budget.spend()) return;
    ElementRole role = element->role();
    if (role == ElementRole::table || role == ElementRole::outline) {
        if (!found.grid && element->cellAt(0, 0)) found.grid = element;
        return;
    }
    if (!found.addressField && isField(role)) {
        if (auto shown = element->currentValue(); shown && parseCellAddress(*shown)) found.addressField = element;
        return;
    }
    for (const auto& child : element->children()) findSheetParts(child, depth + 1, budget, found);
}

SheetParts sheetPartsOf(platform::AccessibleApplication& application) {
    SheetParts found;
    platform::ScanBudget budget;
    // The window the user is in first: its sheet is the one meant.
    std::vector<ElementRef> windows = application.windows();
    if (auto focused = application.focusedWindow()) {
        std::erase(windows, focused);
        windows.insert(windows.begin(), focused);
    }
    for (const auto& window : windows) findSheetParts(window, 0, budget, found);
    return found;
}

template <typename Condition>
bool within(std::chrono::milliseconds timeout, Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPoll);
    }
}

}  // namespace

std::optional<CellAddress> parseCellAddress(std::string_view text) {
    size_t at = 0;
    auto skipDollar = [&] {
        if (at < text.size() && text[at] == '$') ++at;
    };
    skipDollar();
    CellAddress address;
    size_t letters = 0;
    int64_t column = 0;
    for (; at < text.size() && std::isalpha(static_cast<unsigned char>(text[at])); ++at, ++letters)
        column = column * 26 + (std::toupper(static_cast<unsigned char>(text[at])) - 'A' + 1);
    if (letters == 0 || letters > kMostColumnLetters) return std::nullopt;
    skipDollar();
    size_t digits = 0;
    int64_t row = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at, ++digits)
        row = row * 10 + (text[at] - '0');
    if (digits == 0 || digits > kMostRowDigits || row == 0 || at != text.size()) return std::nullopt;
    address.column = static_cast<int>(column - 1);
    address.row = static_cast<int>(row - 1);
    for (char c : text) {
        if (c != '$') address.text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return address;
}

Result<std::string> fillCell(platform::Accessibility& accessibility, InputActions& input, int32_t pid,
                             const CellAddress& address, const std::string& value) {
    auto application = accessibility.application(pid);
    SheetParts sheet = application ? sheetPartsOf(*application) : SheetParts{};
    if (!sheet.grid) return fail("no spreadsheet found in the target's windows; fill_cell fills cells of a sheet");
    if (!sheet.addressField)
        return fail("no Name Box (the field that shows the current cell's address) found; go to " + address.text +
                    " with the keyboard and use type_text");
    ElementRef cell = sheet.grid->cellAt(address.row, address.column);
    if (!cell) return fail("the sheet has no cell " + address.text);

    // The window comes forward first: brought forward afterwards, it would give the focus
    // back to the sheet and the address would be typed into the current cell. The field is
    // then given the focus, else clicked, and nothing is typed until it has it.
    if (!input.focusTarget(pid)) return fail(kNoKeyboardFocus);
    ElementRef field = sheet.addressField;
    auto fieldFocused = [&] { return within(kFocusTimeout, [&] { return field->focused(); }); };
    if (!(field->focus() && fieldFocused())) {
        auto frame = field->frameOnScreen();
        if (!frame || !input.clickInTarget(*frame, pid) || !fieldFocused())
            return fail("could not reach the Name Box; nothing was entered");
    }
    VELMOR_RETURN_IF_FAILED(input.pressKey("ctrl+a", pid));
    VELMOR_RETURN_IF_FAILED(input.typeText(address.text, pid));
    VELMOR_RETURN_IF_FAILED(input.pressKey("return", pid));
    if (!within(kMoveTimeout, [&] { return cell->focused(); }))
        return fail("the sheet did not go to " + address.text + "; nothing was entered");

    std::string before = cell->shownText().value_or("");
    VELMOR_RETURN_IF_FAILED(input.typeText(value, pid));
    // A completion the sheet offers from the column's other entries is selected after what
    // was typed: removed, it leaves the value as given.
    VELMOR_RETURN_IF_FAILED(input.pressKey("forwarddelete", pid));
    VELMOR_RETURN_IF_FAILED(input.pressKey("return", pid));
    std::string shown = before;
    within(kShowTimeout, [&] {
        shown = cell->shownText().value_or("");
        return shown != before || value.empty();
    });
    // The sheet's own text: it reaches the agent cleaned like every text an application shows.
    return outside_text::description(shown);
}

}  // namespace velmor::automation
