#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velmor::browser {

// One tool a page agent registered on its session.
struct BrowserTool {
    std::string name;  // unique within its session
    std::string description;
    nlohmann::json inputSchema;
    std::string sessionId;
};

// One page element found by a page scan, acted on through the script injector rather than
// through a page agent.
struct WebTool {
    std::string name;
    std::string description;
    std::string selector;
    std::string actionType;  // "click", "fill", "select", "fill_contenteditable" or "set"
    nlohmann::json inputSchema;
    std::optional<std::string> urlPattern;  // part of the URL of the tab it belongs to
    std::string targetId;                   // the DevTools id of the scanned tab, tried first
};

}  // namespace velmor::browser
