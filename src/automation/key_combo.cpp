#include "automation/key_combo.h"

#include "base/key_combination.h"

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
    KeyCombination written = keyCombination(combo);
    auto key = keyNamed(written.key);
    if (!key) return fail("unknown key: " + written.key);
    platform::Modifiers modifiers;
    modifiers.control = written.control;
    modifiers.shift = written.shift;
    modifiers.alt = written.alt;
    return KeyCombo{*key, modifiers};
}

}  // namespace velmor::automation
