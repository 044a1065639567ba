#include "automation/session_responses.h"

#include "automation/role_names.h"
#include "base/text.h"
#include "base/utf8.h"
#include "base/outside_text.h"

#include <map>
#include <set>
#include <string_view>

namespace velmor::automation {

using nlohmann::json;

namespace {

// At most this many new texts in one answer: a window that changed its whole content is
// read with get_page_info.
constexpr size_t kNewTextsInAnswer = 20;

// The texts of `now` beyond those `before` showed, in order; a text shown twice where it was
// shown once is new once.
json newTexts(const std::vector<std::string>& before, const std::vector<std::string>& now) {
    std::map<std::string_view, int> shownBefore;
    for (const auto& text : before) ++shownBefore[text];
    json fresh = json::array();
    for (const auto& text : now) {
        if (int& count = shownBefore[text]; count > 0) {
            --count;
        } else if (fresh.size() < kNewTextsInAnswer) {
            fresh.push_back(text);
        }
    }
    return fresh;
}

json toolNames(const ScanResult& scan) {
    json names = json::array();
    for (const auto& element : scan.elements) names.push_back(element.toolName);
    return names;
}

}  // namespace

json elementEntry(const ScannedElement& element) {
    json entry = {{"tool", element.toolName},
                  {"role", lowerAscii(roleWords(element.role))},
                  {"title", element.title},
                  {"enabled", element.enabled}};
    if (element.value) entry["value"] = *element.value;
    return entry;
}

SeenState seenState(const ScanResult& scan) {
    SeenState seen{.shownTexts = scan.shownTexts};
    for (const auto& element : scan.elements) seen.tools[element.toolName] = {element.value, element.enabled};
    return seen;
}

json stateResponse(const ScanResult& scan, const platform::RunningApplication& app) {
    json elements = json::array();
    for (const auto& element : scan.elements) elements.push_back(elementEntry(element));
    json response = {{"app", outside_text::label(app.name.value_or(""))},
                     {"bundle_id", outside_text::label(app.bundleId.value_or(""))},
                     {"window_title", scan.windowTitle},
                     {"focused_element", scan.focusedElement.value_or("")},
                     {"element_count", scan.elements.size()},
                     {"interactive_elements", std::move(elements)},
                     {"available_tools", toolNames(scan)},
                     {"hierarchy_summary", scan.hierarchySummary}};
    if (scan.partial) response["partial"] = *scan.partial;
    outside_text::fitToBudget(response, "interactive_elements");
    return response;
}

json diffResponse(const ScanResult& scan, SeenState& seen) {
    ToolStates& previous = seen.tools;
    ToolStates current;
    for (const auto& element : scan.elements) current.emplace(element.toolName, ToolState{element.value, element.enabled});

    std::set<std::string> addedNames;
    json removed = json::array();
    json changed = json::array();
    for (const auto& [name, state] : current) {
        auto before = previous.find(name);
        if (before == previous.end()) {
            addedNames.insert(name);
        } else if (before->second != state) {
            json change = {{"tool", name},
                           {"old_value", before->second.value.value_or("")},
                           {"new_value", state.value.value_or("")}};
            // Undo turning available after typing is news to the agent, even with no value.
            if (before->second.enabled != state.enabled) {
                change["old_enabled"] = before->second.enabled;
                change["new_enabled"] = state.enabled;
            }
            changed.push_back(std::move(change));
        }
    }
    for (const auto& [name, state] : previous) {
        if (!current.count(name)) removed.push_back(name);
    }
    previous = std::move(current);
    json shown = newTexts(seen.shownTexts, scan.shownTexts);
    seen.shownTexts = scan.shownTexts;

    // Filtered from the scan, so in scan order, a repeated name as often as it occurs.
    json added = json::array();
    for (const auto& element : scan.elements) {
        if (addedNames.count(element.toolName)) added.push_back(elementEntry(element));
    }

    json response = {{"window_title", scan.windowTitle},
                     {"focused_element", scan.focusedElement.value_or("")},
                     {"element_count", scan.elements.size()},
                     {"available_tools", toolNames(scan)}};
    if (added.empty() && removed.empty() && changed.empty() && shown.empty()) {
        response["diff"] = "no changes";
        return response;
    }
    if (!added.empty()) response["added"] = std::move(added);
    if (!removed.empty()) response["removed"] = std::move(removed);
    if (!changed.empty()) response["changed"] = std::move(changed);
    if (!shown.empty()) response["new_text"] = std::move(shown);
    outside_text::fitToBudget(response, "added");
    return response;
}

}  // namespace velmor::automation
