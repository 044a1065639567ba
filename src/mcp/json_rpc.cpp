#include "mcp/json_rpc.h"

#include "base/json_depth.h"
#include "base/json_fields.h"
#include "base/json_rpc_error.h"
#include "base/json_text.h"
#include "tools/catalogue.h"
#include "tools/tool_router.h"

namespace velmor::mcp {

using nlohmann::json;

namespace {

json initializeResult() {
    return {{"protocolVersion", "2024-11-05"},
            {"capabilities", {{"tools", {{"listChanged", true}}}}},
            {"serverInfo", {{"name", "velmor"}, {"version", "1.0.0"}}}};
}

json textContent(const std::string& text) { return json::array({{{"type", "text"}, {"text", text}}}); }

json toolResult(const json& result) {
    if (result.is_object()) {
        if (auto image = result.find("__image__"); image != result.end() && image->is_string())
            return {{"content", json::array({{{"type", "image"}, {"data", *image}, {"mimeType", "image/png"}}})}};
        if (auto error = result.find("error"); error != result.end() && error->is_string())
            return {{"content", textContent("Error: " + error->get<std::string>())}, {"isError", true}};
    }
    return {{"content", textContent(dictToJson(result))}};
}

// The same text as jsonRpc(id, {{"tools", router.allTools()}}), without copying and
// serialising the fixed tools again for every request: they never change.
std::string toolsListResponse(const json& id, const tools::ToolRouter& router) {
    std::string text = R"({"id":)" + dictToJson(id) + R"(,"jsonrpc":"2.0","result":{"tools":[)";
    text += tools::staticToolsText();
    for (const auto& tool : router.dynamicTools()) {
        std::string serialised = dictToJson(tool);
        if (serialised == kJsonSerializationFailed) return kJsonSerializationFailed;
        text += ',';
        text += serialised;
    }
    text += "]}}";
    return text;
}

}  // namespace

std::string jsonRpc(const json& id, const json& result) {
    return dictToJson({{"jsonrpc", "2.0"}, {"id", id}, {"result", result}});
}

std::string errorResponse(const json& id, int code, const std::string& message) {
    return dictToJson(json(jsonRpcError(id, code, message)));
}

std::string toolResponse(const json& id, const json& result) { return jsonRpc(id, toolResult(result)); }

std::optional<std::string> busyResponse(std::string_view body) {
    json request = json::parse(body, nullptr, /*allow_exceptions=*/false);
    if (!request.is_object()) return std::nullopt;
    const json* idValue = findField(request, "id");
    return errorResponse(idValue ? *idValue : json(nullptr), -32000,
                         "Server busy: too many tool calls are running; try again shortly");
}

std::optional<std::string> handleRequest(tools::ToolRouter& router, std::string_view body) {
    json request = parseBoundedJson(body);
    if (!request.is_object()) return std::nullopt;

    const json* idValue = findField(request, "id");
    json id = idValue ? *idValue : json(nullptr);
    const json* methodValue = findField(request, "method");
    std::string method = methodValue && methodValue->is_string() ? methodValue->get<std::string>() : "";

    if (method == "initialize") return jsonRpc(id, initializeResult());
    if (method == "notifications/initialized") return std::nullopt;
    if (method == "ping") return jsonRpc(id, json::object());
    if (method == "tools/list") return toolsListResponse(id, router);
    if (method == "tools/call") {
        static const json kEmpty = json::object();
        const json* paramsValue = findField(request, "params");
        const json& params = paramsValue && paramsValue->is_object() ? *paramsValue : kEmpty;
        const json* nameValue = findField(params, "name");
        const json* argsValue = findField(params, "arguments");
        std::string name = nameValue && nameValue->is_string() ? nameValue->get<std::string>() : "";
        const json& args = argsValue && argsValue->is_object() ? *argsValue : kEmpty;
        return toolResponse(id, router.callTool(name, args));
    }
    return errorResponse(id, -32601, "Method not found");
}

}  // namespace velmor::mcp
