#include "base/tool_description.h"

namespace velmor::tool_schema {

using nlohmann::json;

json stringOrListParam(const std::string& description) {
    json one = {{"type", "string"}};
    json list = {{"type", "array"}, {"items", one}};
    return {{"anyOf", json::array({one, list})}, {"description", description}};
}

json param(const std::string& type, const std::string& description) {
    return {{"type", type}, {"description", description}};
}

json objectSchema(json properties, const std::vector<std::string>& required) {
    json schema = {{"type", "object"}, {"properties", std::move(properties)}};
    if (!required.empty()) schema["required"] = required;
    return schema;
}

json describe(const std::string& name, const std::string& description, json inputSchema) {
    return {{"name", name}, {"description", description}, {"inputSchema", std::move(inputSchema)}};
}

json describeDeferred(const std::string& name, const std::string& description, json inputSchema) {
    json described = describe(name, description, std::move(inputSchema));
    described["defer_loading"] = true;
    return described;
}

json tool(const std::string& name, const std::string& description, json properties,
          const std::vector<std::string>& required) {
    return describe(name, description, objectSchema(std::move(properties), required));
}

}  // namespace velmor::tool_schema
