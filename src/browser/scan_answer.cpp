#include "browser/scan_answer.h"

#include "base/outside_text.h"
#include "base/text.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_set>

namespace velmor::browser {

using nlohmann::json;

namespace {

constexpr size_t kMaxNameLength = 64;
constexpr size_t kMaxSelectorLength = 2048;
constexpr size_t kMaxUrlLength = 8192;
constexpr size_t kMaxHeadings = 100;
constexpr size_t kMaxOptions = 100;
constexpr std::array<std::string_view, 5> kActionTypes = {"click", "fill", "select", "fill_contenteditable", "set"};

const std::string* text(const json& object, const char* key) {
    auto found = object.find(key);
    return found != object.end() && found->is_string() ? &found->get_ref<const std::string&>() : nullptr;
}

std::string shownText(const json& object, const char* key, size_t characters) {
    const std::string* found = text(object, key);
    return found ? outside_text::shown(*found, characters) : std::string();
}

bool nameCharacters(const std::string& name) {
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; });
}

// Hands out each tool name once, never a taken one.
class NameRegister {
public:
    explicit NameRegister(const TakenToolNames& taken) : taken_(taken) {}

    // The page's name in the slug rule's form, or the next free numbered form of it; empty
    // when nothing of it is left.
    std::string claim(const std::string& asked) {
        std::string base = nameCharacters(asked) && asked.size() <= kMaxNameLength ? asked : toSlug(asked, kMaxNameLength);
        if (base.empty()) return base;
        std::string name = base;
        for (int n = 2; given_.contains(name) || taken_.isTaken(name); ++n) {
            std::string suffix = "_" + std::to_string(n);
            name = base.substr(0, kMaxNameLength - suffix.size()) + suffix;
        }
        given_.insert(name);
        return name;
    }

private:
    const TakenToolNames& taken_;
    std::unordered_set<std::string> given_;
};

std::optional<json> checkedTool(const json& raw, NameRegister& names) {
    if (!raw.is_object()) return std::nullopt;
    const std::string* name = text(raw, "name");
    const std::string* type = text(raw, "type");
    const std::string* selector = text(raw, "selector");
    const std::string* description = text(raw, "description");
    if (!name || !type || !selector || !description) return std::nullopt;
    if (std::find(kActionTypes.begin(), kActionTypes.end(), *type) == kActionTypes.end()) return std::nullopt;
    // A selector is used as it is, so one that would have to change to be shown is not used.
    if (selector->empty() || selector->size() > kMaxSelectorLength || !outside_text::isClean(*selector))
        return std::nullopt;
    std::string claimed = names.claim(*name);
    if (claimed.empty()) return std::nullopt;
    json tool = {{"name", claimed},
                 {"type", *type},
                 {"selector", *selector},
                 {"description", outside_text::description(*description)},
                 {"label", outside_text::label(text(raw, "label") ? *text(raw, "label") : "")}};
    if (auto options = raw.find("options"); options != raw.end() && options->is_array())
        tool["options"] = checkedLabels(*options);
    if (const std::string* current = text(raw, "currentValue")) tool["currentValue"] = outside_text::label(*current);
    return tool;
}

}  // namespace

json checkedLabels(const json& list) {
    json kept = json::array();
    if (!list.is_array()) return kept;
    for (const auto& text : list) {
        if (kept.size() >= kMaxOptions) break;
        if (text.is_string()) kept.push_back(outside_text::label(text.get_ref<const std::string&>()));
    }
    return kept;
}

Result<json> checkedScan(const Result<json>& scanned, size_t maxTextLength, const TakenToolNames& taken) {
    if (!scanned) return fail(outside_text::description(scanned.error()));
    const json& raw = *scanned;
    if (!raw.is_object()) return fail("the page scan answered no object");
    NameRegister names(taken);
    json tools = json::array();
    if (auto listed = raw.find("tools"); listed != raw.end() && listed->is_array()) {
        for (const auto& entry : *listed) {
            if (tools.size() >= kMaxScanTools) break;
            if (auto tool = checkedTool(entry, names)) tools.push_back(std::move(*tool));
        }
    }
    json headings = json::array();
    if (auto listed = raw.find("headings"); listed != raw.end() && listed->is_array()) {
        for (const auto& heading : *listed) {
            if (headings.size() >= kMaxHeadings) break;
            if (heading.is_string()) headings.push_back(outside_text::label(heading.get_ref<const std::string&>()));
        }
    }
    const std::string* url = text(raw, "url");
    json answer = {{"url", url && url->size() <= kMaxUrlLength && outside_text::isClean(*url) ? *url : ""},
                   {"title", shownText(raw, "title", outside_text::kTitleLength)},
                   {"headings", std::move(headings)},
                   {"content", shownText(raw, "content", maxTextLength)},
                   {"tools", std::move(tools)}};
    // A dialog the tab showed while it was scanned, as the injector reported it.
    if (auto dialog = raw.find("dialog"); dialog != raw.end() && dialog->is_object()) {
        const std::string* type = text(*dialog, "type");
        const std::string* message = text(*dialog, "message");
        answer["dialog"] = {{"type", outside_text::label(type ? *type : "")},
                            {"message", outside_text::description(message ? *message : "")}};
    }
    // Frames of other sites that did not answer in time: made by the injector, not the page.
    if (auto unread = raw.find("unread_frames"); unread != raw.end() && unread->is_array())
        answer["unread_frames"] = *unread;
    outside_text::fitToBudget(answer, "tools");
    answer["toolCount"] = answer["tools"].size();
    return answer;
}

}  // namespace velmor::browser
