#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velmor::browser {

// The page scripts, each one JavaScript expression that evaluates to a JSON text. Every
// inserted text goes in as a JavaScript string literal, so quotes, backslashes and line
// breaks in a selector, value or path reach the page exactly as given; numbers go in as
// numbers.

// The scan keeps at most `maxTextLength` characters of the page's text.
std::string buildScanScript(size_t maxTextLength);
std::string buildActionScript(const std::string& action, const std::string& selector,
                              const std::optional<std::string>& value);
std::string buildNavigationScript(const std::string& path);
// The page agent, connecting to scheme://localhost:port.
std::string buildPageAgentScript(const std::string& scheme, uint16_t port);

}  // namespace velmor::browser
