#pragma once

#include "base/result.h"
#include "base/taken_tool_names.h"

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace velmor::browser {

// The most tools one page scan may offer.
inline constexpr size_t kMaxScanTools = 500;

// What a page scan answered, rebuilt from the parts Velmor asked for: the scan runs apart from
// the page's own scripts, but it reads what the page put in its document, and a page that
// gets hold of the answer could still shape it. Kept: "url", "title", "toolCount", "tools",
// "headings", "content" and "dialog" of the right types; a failed scan stays a failure. Texts
// (the failure's too) are sanitised and capped; at most kMaxScanTools tools, each with a name
// of a-z, 0-9 and "_" (64 characters at most, never one `taken` holds nor one given before
// it: those get the next free "_2", "_3", ...), a known action type and a clean
// selector; page text up to `maxTextLength` characters; the whole within the answer budget.
Result<nlohmann::json> checkedScan(const Result<nlohmann::json>& scanned, size_t maxTextLength,
                                   const TakenToolNames& taken);

// The texts of a list the page gave (a select's options), sanitised and capped as labels;
// at most 100, and nothing that is not a string.
nlohmann::json checkedLabels(const nlohmann::json& list);

}  // namespace velmor::browser
