#include "mcp/json_rpc.h"

#include "base/json_depth.h"
#include "base/json_fields.h"
#include "base/json_rpc_error.h"
#include "base/json_text.h"
#include "base/version.h"
#include "mcp/protocol_version.h"
#include "mcp/cancellable_calls.h"
#include "tools/catalogue.h"
#include "tools/tool_router.h"

namespace velmor::mcp {

using nlohmann::json;

namespace {

constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;

const json kEmptyObject = json::object();

json initializeResult(const json& params) {
    const json* requested = findField(params, "protocolVersion");
    std::string_view version =
        negotiatedProtocolVersion(requested && requested->is_string() ? requested->get_ref<const std::string&>() : "");
    return {{"protocolVersion", version},
            {"capabilities", {{"tools", {{"listChanged", true}}}}},
            {"serverInfo", {{"name", "velmor"}, {"version", kVersion}}}};
}

// JSON-RPC ids are strings or numbers; MCP rules out null. Any other value cannot be
// echoed as the id of an answer.
bool isUsableId(const json& id) { return id.is_string() || id.is_number(); }

std::string invalidRequest(const json& id, std::string_view why) {
    json answer = jsonRpcError(id, kInvalidRequest, "Invalid Request");
    answer["error"]["data"] = why;
    return dictToJson(answer);
}

// A client's answer to a request of ours has an id and a result or an error, no method.
bool isResponse(const json& message) {
    return !message.contains("method") && message.contains("id") &&
           (message.contains("result") || message.contains("error"));
}

json textContent(const std::string& text) { return json::array({{{"type", "text"}, {"text", text}}}); }

json toolResult(const tools::ToolAnswer& answer) {
    if (const tools::ToolImage* image = answer.image())
        return {{"content", json::array({{{"type", "image"}, {"data", image->pngBase64}, {"mimeType", "image/png"}}})}};
    const json& result = answer.result();
    if (result.is_object()) {
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

std::string toolResponse(const json& id, const tools::ToolAnswer& answer) { return jsonRpc(id, toolResult(answer)); }

std::optional<std::string> busyResponse(std::string_view body) {
    json request = json::parse(body, nullptr, /*allow_exceptions=*/false);
    if (!request.is_object()) return std::nullopt;
    const json* idValue = findField(request, "id");
    if (!idValue || !isUsableId(*idValue) || !request.contains("method")) return std::nullopt;
    return errorResponse(*idValue, -32000, "Server busy: too many tool calls are running; try again shortly");
}

std::optional<std::string> handleBatch(std::string_view body,
                                       const std::function<std::optional<std::string>(std::string_view)>& handleOne) {
    json batch = parseBoundedJson(body);
    if (!batch.is_array() || batch.empty()) return handleOne(body);
    std::string answers;
    for (const json& message : batch) {
        auto answer = handleOne(message.dump(-1, ' ', false, json::error_handler_t::replace));
        if (!answer) continue;
        answers += answers.empty() ? "[" : ",";
        answers += *answer;
    }
    if (answers.empty()) return std::nullopt;
    return answers + "]";
}

std::optional<std::string> handleRequest(tools::ToolRouter& router, std::string_view body,
                                         const RequestChannel& channel) {
    bool tooDeep = false;
    json request = parseBoundedJson(body, &tooDeep);
    if (request.is_discarded()) {
        // Too deep is well-formed JSON all the same: only its structure is refused.
        if (tooDeep) return invalidRequest(nullptr, "nested too deeply");
        return errorResponse(nullptr, kParseError, "Parse error");
    }
    // Revisions since 2025-06-18 have no batches; in a session of 2025-03-26, which had
    // them, the transport splits them (handleBatch) before they come here.
    if (request.is_array()) return invalidRequest(nullptr, "batches are not supported");
    if (!request.is_object()) return invalidRequest(nullptr, "not a JSON-RPC message");
    if (isResponse(request)) return std::nullopt;  // we send no requests that await one

    const json* idValue = findField(request, "id");
    const json* methodValue = findField(request, "method");
    if (!idValue && methodValue && methodValue->is_string()) {  // a notification, known or not
        if (*methodValue == "notifications/cancelled") {
            const json* paramsValue = findField(request, "params");
            cancelNamedCall(paramsValue ? *paramsValue : kEmptyObject, channel);
        }
        return std::nullopt;
    }
    json id = idValue && isUsableId(*idValue) ? *idValue : json(nullptr);
    if (!idValue || !isUsableId(*idValue)) return invalidRequest(id, "id must be a string or a number");
    if (!methodValue || !methodValue->is_string()) return invalidRequest(id, "method must be a string");
    const json* version = findField(request, "jsonrpc");
    if (!version || *version != "2.0") return invalidRequest(id, "jsonrpc must be \"2.0\"");
    const json* paramsValue = findField(request, "params");
    if (paramsValue && !paramsValue->is_object() && !paramsValue->is_array())
        return invalidRequest(id, "params must be an object");
    const json& params = paramsValue && paramsValue->is_object() ? *paramsValue : kEmptyObject;

    const std::string& method = methodValue->get_ref<const std::string&>();
    if (method == "initialize") return jsonRpc(id, initializeResult(params));
    if (method == "ping") return jsonRpc(id, json::object());
    if (method == "tools/list") return toolsListResponse(id, router);
    if (method == "tools/call") {
        const json* nameValue = findField(params, "name");
        const json* argsValue = findField(params, "arguments");
        std::string name = nameValue && nameValue->is_string() ? nameValue->get<std::string>() : "";
        const json& args = argsValue && argsValue->is_object() ? *argsValue : kEmptyObject;
        auto result = runCancellableToolCall(router, name, args, id, params, channel);
        if (!result) return std::nullopt;  // cancelled by its client: no answer is sent
        return toolResponse(id, *result);
    }
    return errorResponse(id, kMethodNotFound, "Method not found");
}

}  // namespace velmor::mcp
