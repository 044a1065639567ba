#pragma once

#include "automation/input_actions.h"
#include "base/result.h"
#include "platform/accessibility.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::automation {

// A cell's place in a spreadsheet, from its address: the column's letters, then the row's
// number ("B3", "ab12", "$C$7").
struct CellAddress {
    int row = 0;     // from 0
    int column = 0;  // from 0
    std::string text;  // as spreadsheets write it: "B3", "AB12"
};
std::optional<CellAddress> parseCellAddress(std::string_view text);

// Puts `value` (text, a number or a formula) into the cell at `address` of the spreadsheet
// in process `pid`'s windows as a user does: the address typed into the field that shows the
// current cell's address (the Name Box), then the value typed into the cell the sheet went
// to. Answers the cell's text as it shows afterwards (a formula's result). Fails, saying
// why, when the target shows no sheet, no such field, or the sheet did not go to the cell.
Result<std::string> fillCell(platform::Accessibility& accessibility, InputActions& input, int32_t pid,
                             const CellAddress& address, const std::string& value);

}  // namespace velmor::automation
