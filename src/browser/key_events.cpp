#include "browser/key_events.h"

#include "base/text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace velmor::browser {

namespace {

struct NamedKey {
    std::string_view name;  // lower case
    std::string_view key;
    std::string_view code;
    int keyCode;
    std::string_view text;
};

// Key codes are the Windows virtual-key codes that DOM keyCode reports.
constexpr std::array kNamedKeys{
    NamedKey{"enter", "Enter", "Enter", 13, "\r"},       NamedKey{"return", "Enter", "Enter", 13, "\r"},
    NamedKey{"tab", "Tab", "Tab", 9, ""},                NamedKey{"escape", "Escape", "Escape", 27, ""},
    NamedKey{"esc", "Escape", "Escape", 27, ""},         NamedKey{"backspace", "Backspace", "Backspace", 8, ""},
    NamedKey{"delete", "Delete", "Delete", 46, ""},      NamedKey{"space", " ", "Space", 32, " "},
    NamedKey{"arrowup", "ArrowUp", "ArrowUp", 38, ""},   NamedKey{"up", "ArrowUp", "ArrowUp", 38, ""},
    NamedKey{"arrowdown", "ArrowDown", "ArrowDown", 40, ""}, NamedKey{"down", "ArrowDown", "ArrowDown", 40, ""},
    NamedKey{"arrowleft", "ArrowLeft", "ArrowLeft", 37, ""}, NamedKey{"left", "ArrowLeft", "ArrowLeft", 37, ""},
    NamedKey{"arrowright", "ArrowRight", "ArrowRight", 39, ""}, NamedKey{"right", "ArrowRight", "ArrowRight", 39, ""},
    NamedKey{"home", "Home", "Home", 36, ""},            NamedKey{"end", "End", "End", 35, ""},
    NamedKey{"pageup", "PageUp", "PageUp", 33, ""},      NamedKey{"pagedown", "PageDown", "PageDown", 34, ""},
};

nlohmann::json params(std::string_view key, std::string_view code, int keyCode, std::string_view text) {
    nlohmann::json p = {{"key", key}, {"code", code}, {"windowsVirtualKeyCode", keyCode},
                        {"nativeVirtualKeyCode", keyCode}};
    if (!text.empty()) {
        p["text"] = text;
        p["unmodifiedText"] = text;
    }
    return p;
}

// A printable ASCII character types itself; letters and digits have key codes of their own.
nlohmann::json characterParams(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    std::string code;
    int keyCode = 0;
    if (std::isalpha(u)) {
        code = std::string("Key") + static_cast<char>(std::toupper(u));
        keyCode = std::toupper(u);
    } else if (std::isdigit(u)) {
        code = std::string("Digit") + c;
        keyCode = u;
    }
    return params(std::string_view(&c, 1), code, keyCode, std::string_view(&c, 1));
}

}  // namespace

std::optional<nlohmann::json> keyEventParams(const std::string& name) {
    if (name.size() == 1 && name[0] > ' ' && name[0] < 0x7f) return characterParams(name[0]);
    std::string lowered = lowerAscii(name);
    for (const auto& k : kNamedKeys)
        if (k.name == lowered) return params(k.key, k.code, k.keyCode, k.text);
    return std::nullopt;
}

const char* knownKeyNames() {
    return "Enter, Tab, Escape, Backspace, Delete, Space, ArrowUp, ArrowDown, ArrowLeft, ArrowRight, Home, End, "
           "PageUp, PageDown or one printable character";
}

}  // namespace velmor::browser
