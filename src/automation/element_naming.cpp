#include "automation/element_naming.h"

#include "automation/text.h"

#include <unordered_map>

namespace velmor::automation {

namespace {

constexpr size_t kSlugLength = 40;
constexpr size_t kDescribedValueLength = 100;

}  // namespace

RoleVerb verbForRole(std::string_view role) {
    static const std::unordered_map<std::string_view, std::string_view> verbs = {
        {"AXButton", "click"},      {"AXMenuButton", "click"},     {"AXLink", "click"},
        {"AXTextField", "fill"},    {"AXTextArea", "fill"},        {"AXSecureTextField", "fill"},
        {"AXCheckBox", "toggle"},   {"AXRadioButton", "select"},   {"AXMenuItem", "select"},
        {"AXPopUpButton", "open"},  {"AXComboBox", "open"},        {"AXSlider", "set"},
    };
    if (role == "AXTabGroup" || role == "AXRadioGroup") return {RoleVerb::noTool, {}};
    auto it = verbs.find(role);
    if (it == verbs.end()) return {RoleVerb::pressable, "click"};
    return {RoleVerb::verb, it->second};
}

std::string slugOf(std::string_view label) {
    std::string slug;
    bool inRun = false;
    // Bytes, not characters: every byte of a multi-byte character is outside a-z and 0-9
    // and joins the run around it, as the character itself would.
    for (char c : lowerAscii(label)) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            slug += c;
            inRun = false;
        } else if (!inRun) {
            slug += '_';
            inRun = true;
        }
    }
    size_t first = slug.find_first_not_of('_');
    if (first == std::string::npos) return "";
    slug = slug.substr(first, slug.find_last_not_of('_') - first + 1);
    if (slug.size() > kSlugLength) slug.resize(kSlugLength);
    return slug;
}

std::string toolDescription(std::string_view verb, std::string_view label, const std::optional<std::string>& value,
                            std::string_view role) {
    std::string quoted = "'" + std::string(label) + "'";
    if (verb == "fill")
        return "Fill " + quoted + " text field. Current value: '" + utf8Prefix(value.value_or(""), kDescribedValueLength) +
               "'";
    if (verb == "toggle") return "Toggle " + quoted + " checkbox. Currently: " + (value == "1" ? "checked" : "unchecked");
    if (verb == "set") return "Set " + quoted + " slider. Current value: " + value.value_or("unknown");
    if (verb == "open") return "Open " + quoted + " dropdown. Current value: '" + value.value_or("") + "'";
    std::string capitalised(verb);
    if (!capitalised.empty() && capitalised[0] >= 'a' && capitalised[0] <= 'z') capitalised[0] -= 'a' - 'A';
    return capitalised + " " + quoted + " " + lowerAscii(withoutAX(role));
}

}  // namespace velmor::automation
