#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velmor::browser {

// The DevTools Input.dispatchKeyEvent parameters (key, code, key codes and the text a key
// types) of a named key: Enter, Tab, Escape, Backspace, Delete, Space, the arrows, Home,
// End, PageUp, PageDown, or one printable ASCII character. Names ignore letter case.
// Nothing for any other name.
std::optional<nlohmann::json> keyEventParams(const std::string& name);

// The key names keyEventParams knows, for messages.
const char* knownKeyNames();

}  // namespace velmor::browser
