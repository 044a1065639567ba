#pragma once

#include "platform/element_role.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::automation {

// What an element of a role becomes.
struct RoleVerb {
    enum Kind {
        verb,       // always a tool with this verb (when it has a label)
        noTool,     // never a tool (tab groups); its children still are
        pressable,  // a click tool only when it can be pressed and has a label
    } kind;
    std::string_view name;  // the verb, for `verb`
};

RoleVerb verbForRole(platform::ElementRole role);

// The label as a name part: lower case, runs of anything but a-z and 0-9 as one "_",
// no "_" at either end, at most 40 characters. Where that would leave nothing or a lone
// character of a label that also holds symbols ("=", "÷", "<-", "M+"), the symbols are
// spelt out in words instead (equals, divide, back, m_plus).
std::string slugOf(std::string_view label);

// What an element is called after its role where nothing names it, or where its label has
// no letter or digit a name can keep ("保存"): "text field", "button", "combo box".
std::string_view roleLabel(platform::ElementRole role);

// The tool description the agent reads, by verb, within the description limit. The label and
// value come as the sanitiser left them.
std::string toolDescription(std::string_view verb, std::string_view label, const std::optional<std::string>& value,
                            platform::ElementRole role);

// The description of a table row's tool: the row by its name, then its cells' texts in order.
std::string rowToolDescription(std::string_view label, const std::vector<std::string>& cellTexts);

}  // namespace velmor::automation
