#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// The shape of a tool as tools/list shows it, for every family: fixed tools, element tools,
// shortcuts, page-agent tools and scanned web tools.
namespace velmor::tool_schema {

// One parameter: exactly `type` and `description`.
nlohmann::json param(const std::string& type, const std::string& description);
// A parameter that takes one string or a list of strings.
nlohmann::json stringOrListParam(const std::string& description);

// An object schema; `required` appears only when the list is not empty.
nlohmann::json objectSchema(nlohmann::json properties = nlohmann::json::object(),
                            const std::vector<std::string>& required = {});

// {"name", "description", "inputSchema"}.
nlohmann::json describe(const std::string& name, const std::string& description, nlohmann::json inputSchema);

// As describe, marked "defer_loading": a tool of a family that comes and goes (shortcuts, page
// tools, web tools), which clients load only when it is asked for.
nlohmann::json describeDeferred(const std::string& name, const std::string& description, nlohmann::json inputSchema);

// A tool taking an object of `properties`.
nlohmann::json tool(const std::string& name, const std::string& description,
                    nlohmann::json properties = nlohmann::json::object(),
                    const std::vector<std::string>& required = {});

}  // namespace velmor::tool_schema
