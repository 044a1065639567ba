#pragma once

#include "base/result.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::shortcuts {

// One workflow action as a shortcut file holds it.
struct ShortcutAction {
    std::string identifier;                                 // WFWorkflowActionIdentifier
    nlohmann::json parameters = nlohmann::json::object();  // WFWorkflowActionParameters
};

// The value workflow parameters use for text: the text without variable attachments.
nlohmann::json textToken(const std::string& text);
// The text of a parameter that is a text token or a plain string; nothing otherwise.
std::optional<std::string> parameterText(const nlohmann::json& parameter);

// The whole shortcut, serialised as a binary property list.
Result<std::string> shortcutFileBytes(const std::vector<ShortcutAction>& actions);

// The actions of a shortcut file, after checking that it is one: a property list whose
// top-level dictionary has every key of a shortcut with a value of the right kind, and
// whose every action has an identifier and a parameter dictionary.
Result<std::vector<ShortcutAction>> parseShortcutFile(const std::string& bytes);
Result<std::vector<ShortcutAction>> readShortcutFile(const std::string& path);
// A file's bytes, read up to one byte past the largest shortcut, so parsing tells "too large".
Result<std::string> readShortcutBytes(const std::string& path);

// Larger files are not shortcuts anyone wrote by hand or by this program.
constexpr size_t kMaxShortcutFileBytes = 8 * 1024 * 1024;

}  // namespace velmor::shortcuts
