#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velmor::browser {

// The page scripts, each one JavaScript expression that evaluates to a JSON text. Every
// inserted text goes in as a JavaScript string literal and numbers go in as numbers, and all
// of a script's values go in together, so quotes, backslashes, line breaks and placeholder
// names in a selector, value or path reach the page exactly as given.

// The scan keeps at most `maxTextLength` characters of the page's text.
std::string buildScanScript(size_t maxTextLength);
std::string buildActionScript(const std::string& action, const std::string& selector,
                              const std::optional<std::string>& value);
std::string buildNavigationScript(const std::string& path);
// One look for shown `text` (empty: any), in shown elements matching `selector` (empty: the page).
std::string buildWaitScript(const std::string& text, const std::string& selector);
// The page agent, connecting to scheme://localhost:port and proving `nonce` first.
std::string buildPageAgentScript(const std::string& scheme, uint16_t port, const std::string& nonce);

}  // namespace velmor::browser
