#pragma once

#include "base/guarded.h"
#include "browser/browser_tool.h"

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::browser {

// The web tools of the last page scan; not tied to any page session.
class ScannedWebTools {
public:
    ScannedWebTools() = default;
    ScannedWebTools(const ScannedWebTools&) = delete;
    ScannedWebTools& operator=(const ScannedWebTools&) = delete;

    std::optional<WebTool> get(const std::string& name) const;
    // Puts the tools of a new scan in place of the old ones; true when tools/list changes
    // (a name, description or input schema differs).
    bool replace(std::vector<WebTool> tools);
    // The tools/list entries.
    nlohmann::json listing() const;

private:
    Guarded<std::map<std::string, WebTool>> tools_;
};

}  // namespace velmor::browser
