#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmor::browser {

// The page scripts, each one JavaScript expression that evaluates to a JSON text. Every
// inserted value goes in as a JavaScript string literal, and all of a script's values go in
// together, so quotes, backslashes, line breaks and placeholder names in a selector, value or
// path reach the page exactly as given.
std::string buildScanScript();
std::string buildActionScript(const std::string& action, const std::string& selector,
                              const std::optional<std::string>& value);
std::string buildNavigationScript(const std::string& path);
// The page agent, connecting to scheme://localhost:port and proving `nonce` first.
std::string buildPageAgentScript(const std::string& scheme, uint16_t port, const std::string& nonce);

}  // namespace velmor::browser
