#include "automation/element_naming.h"

#include "automation/role_names.h"
#include "base/text.h"
#include "base/utf8.h"
#include "base/outside_text.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <utility>

namespace velmor::automation {

using platform::ElementRole;

namespace {

constexpr size_t kSlugLength = 40;
constexpr size_t kDescribedValueLength = 100;

bool isSlugCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// The one table of symbols that stand for a word on keys and buttons. Longer symbols come
// before their beginnings ("<-" before "<", "+/-" before "+").
constexpr std::pair<std::string_view, std::string_view> kSymbolWords[] = {
    {"+/-", "plus_minus"}, {"+/−", "plus_minus"}, {"<-", "back"},      {"->", "forward"},    {"...", "more"},      {"±", "plus_minus"},
    {"←", "back"},         {"⌫", "back"},       {"→", "forward"},     {"…", "more"},        {"=", "equals"},
    {"+", "plus"},         {"-", "minus"},      {"−", "minus"},       {"*", "times"},       {"×", "times"},
    {"/", "divide"},       {"÷", "divide"},     {"%", "percent"},     {".", "point"},       {",", "comma"},
    {"(", "open_paren"},   {")", "close_paren"},     {"√", "root"},        {"π", "pi"},          {"^", "power"},
    {"²", "squared"},      {"<", "less"},       {">", "greater"},     {"&", "and"},         {"#", "number"},
    {"@", "at"},           {"?", "question"},   {"!", "exclamation"}, {"$", "dollar"},      {"€", "euro"},
};

// The label with its symbols as words and its letters and digits kept, joined by "_";
// `symbols` tells whether any symbol was found.
std::string spelledOut(std::string_view label, bool& symbols) {
    std::string lowered = lowerAscii(label);
    std::string_view rest = lowered;
    std::string slug;
    bool separated = true;
    symbols = false;
    while (!rest.empty()) {
        if (isSlugCharacter(rest.front())) {
            if (separated && !slug.empty()) slug += '_';
            slug += rest.front();
            separated = false;
            rest.remove_prefix(1);
            continue;
        }
        separated = true;
        auto symbol = std::find_if(std::begin(kSymbolWords), std::end(kSymbolWords),
                                   [&](const auto& entry) { return rest.starts_with(entry.first); });
        if (symbol == std::end(kSymbolWords)) {
            rest.remove_prefix(1);
            continue;
        }
        if (!slug.empty()) slug += '_';
        slug += symbol->second;
        symbols = true;
        rest.remove_prefix(symbol->first.size());
    }
    return slug;
}

}  // namespace

RoleVerb verbForRole(ElementRole role) {
    switch (role) {
        case ElementRole::button:
        case ElementRole::menuButton:
        case ElementRole::link: return {RoleVerb::verb, "click"};
        case ElementRole::textField:
        case ElementRole::textArea:
        case ElementRole::secureTextField: return {RoleVerb::verb, "fill"};
        case ElementRole::checkBox: return {RoleVerb::verb, "toggle"};
        case ElementRole::radioButton:
        case ElementRole::menuItem: return {RoleVerb::verb, "select"};
        case ElementRole::popUpButton:
        case ElementRole::comboBox: return {RoleVerb::verb, "open"};
        case ElementRole::slider: return {RoleVerb::verb, "set"};
        case ElementRole::tabGroup: return {RoleVerb::noTool, {}};
        default: return {RoleVerb::pressable, "click"};
    }
}

std::string slugOf(std::string_view label) {
    std::string slug = toSlug(label, kSlugLength);
    // "=" and "÷" would all be click_, and "M+" and "M-" both click_m: their words tell
    // them apart. Any other label keeps the plain rule.
    if (slug.size() <= 1) {
        bool symbols = false;
        std::string words = spelledOut(label, symbols);
        if (symbols) slug = words.substr(0, kSlugLength);
    }
    return slug;
}

std::string_view roleLabel(ElementRole role) {
    switch (role) {
        case ElementRole::textField: return "text field";
        case ElementRole::textArea: return "text area";
        case ElementRole::secureTextField: return "secure text field";
        case ElementRole::button: return "button";
        case ElementRole::menuButton: return "menu button";
        case ElementRole::link: return "link";
        case ElementRole::checkBox: return "check box";
        case ElementRole::radioButton: return "radio button";
        case ElementRole::menuItem: return "menu item";
        case ElementRole::popUpButton:
        case ElementRole::comboBox: return "combo box";
        case ElementRole::slider: return "slider";
        case ElementRole::row: return "row";
        case ElementRole::cell: return "cell";
        case ElementRole::image: return "image";
        case ElementRole::staticText: return "text";
        default: return "element";
    }
}

namespace {

std::string describedAs(std::string_view verb, std::string_view label, const std::optional<std::string>& value,
                        ElementRole role) {
    std::string quoted = "'" + std::string(label) + "'";
    if (verb == "fill")
        return "Fill " + quoted + " text field. Current value: '" + utf8Prefix(value.value_or(""), kDescribedValueLength) +
               "'";
    if (verb == "toggle") return "Toggle " + quoted + " checkbox. Currently: " + (value == "1" ? "checked" : "unchecked");
    if (verb == "set") return "Set " + quoted + " slider. Current value: " + value.value_or("unknown");
    if (verb == "open") return "Open " + quoted + " dropdown. Current value: '" + value.value_or("") + "'";
    std::string capitalised(verb);
    if (!capitalised.empty() && capitalised[0] >= 'a' && capitalised[0] <= 'z') capitalised[0] -= 'a' - 'A';
    return capitalised + " " + quoted + " " + lowerAscii(roleWords(role));
}

}  // namespace

std::string toolDescription(std::string_view verb, std::string_view label, const std::optional<std::string>& value,
                            ElementRole role) {
    return outside_text::capped(describedAs(verb, label, value, role), outside_text::kDescriptionLength);
}

std::string rowToolDescription(std::string_view label, const std::vector<std::string>& cellTexts) {
    std::string text = "Select the row '" + std::string(label) + "':";
    for (size_t i = 0; i < cellTexts.size(); ++i) text += (i ? " | " : " ") + cellTexts[i];
    return outside_text::capped(text, outside_text::kDescriptionLength);
}

}  // namespace velmor::automation
