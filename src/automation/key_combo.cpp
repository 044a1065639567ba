#include "automation/key_combo.h"

#include "automation/text.h"

#include <map>
#include <optional>
#include <string_view>

namespace velmor::automation {

namespace {

using platform::NamedKey;

// The key table: no other names are known. "delete" is the key left of the cursor, as on
// the keyboards the names were first written for; "forwarddelete" is the Delete key.
std::optional<platform::Key> keyNamed(const std::string& name) {
    static const std::map<std::string, NamedKey, std::less<>> named = {
        {"return", NamedKey::enter},     {"enter", NamedKey::enter},       {"tab", NamedKey::tab},
        {"space", NamedKey::space},      {"delete", NamedKey::backspace},  {"backspace", NamedKey::backspace},
        {"forwarddelete", NamedKey::forwardDelete},                        {"insert", NamedKey::insert},
        {"escape", NamedKey::escape},    {"esc", NamedKey::escape},        {"up", NamedKey::up},
        {"down", NamedKey::down},        {"left", NamedKey::left},         {"right", NamedKey::right},
        {"home", NamedKey::home},        {"end", NamedKey::end},           {"pageup", NamedKey::pageUp},
        {"pagedown", NamedKey::pageDown}, {"f1", NamedKey::f1},            {"f2", NamedKey::f2},
        {"f3", NamedKey::f3},            {"f4", NamedKey::f4},             {"f5", NamedKey::f5},
        {"f6", NamedKey::f6},            {"f7", NamedKey::f7},             {"f8", NamedKey::f8},
        {"f9", NamedKey::f9},            {"f10", NamedKey::f10},           {"f11", NamedKey::f11},
        {"f12", NamedKey::f12}};
    // Punctuation keys go by the character they type ("+" cannot: it joins the pieces).
    static constexpr std::string_view punctuation = "*/-=,.;'[]\\`";
    if (auto it = named.find(name); it != named.end()) return it->second;
    if (name.size() != 1) return std::nullopt;
    char c = name[0];
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || punctuation.find(c) != std::string_view::npos)
        return platform::Key(c);
    return std::nullopt;
}

}  // namespace

Result<KeyCombo> parseKeyCombo(const std::string& combo) {
    platform::Modifiers modifiers;
    std::string keyName;
    std::string lowered = lowerAscii(combo);
    size_t start = 0;
    while (start <= lowered.size()) {
        size_t plus = lowered.find('+', start);
        if (plus == std::string::npos) plus = lowered.size();
        std::string piece = lowered.substr(start, plus - start);
        start = plus + 1;
        if (piece.empty()) continue;
        // Agents used to other desktops write cmd+s and option+x; what they mean here is
        // ctrl+s and alt+x.
        if (piece == "ctrl" || piece == "control" || piece == "cmd" || piece == "command") modifiers.control = true;
        else if (piece == "shift") modifiers.shift = true;
        else if (piece == "alt" || piece == "option") modifiers.alt = true;
        else keyName = piece;
    }
    auto key = keyNamed(keyName);
    if (!key) return fail("unknown key: " + keyName);
    return KeyCombo{*key, modifiers};
}

}  // namespace velmor::automation
