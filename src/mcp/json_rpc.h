#pragma once

#include "tools/tool_answer.h"

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::tools {
class ToolRouter;
}

namespace velmor::mcp {

// Where a request came from, and how notifications about it reach the client while it runs.
struct RequestChannel {
    std::string session;  // the Mcp-Session-Id it came with; empty without one
    // Sends one JSON-RPC notification (its compact JSON text) to the client before the answer;
    // empty when the transport cannot carry it for this request.
    std::function<void(const std::string& notification)> notify;
};

// The MCP method layer: initialize, ping, notifications/cancelled, tools/list, tools/call.
// A tool call runs as the current call of its thread (base/call_context.h): a
// notifications/cancelled from the same session stops it at its next safe point, and is then
// not answered; its progress reaches the client through channel.notify when the request
// carried params._meta.progressToken. Answers the response
// text, or nothing when no response is due: for a notification (known or not) and for a
// JSON-RPC response the client sent. Text that is not JSON is answered -32700, anything
// that is not a valid request -32600 with the request's id when it has a usable one.
std::optional<std::string> handleRequest(tools::ToolRouter& router, std::string_view body,
                                         const RequestChannel& channel = {});

// A JSON-RPC batch, which revision 2025-03-26 alone has: each message of the array through
// `handleOne`, in order, their answers gathered into one array; nothing when none is due.
// A body that is not a non-empty array goes to `handleOne` whole, which refuses it.
std::optional<std::string> handleBatch(std::string_view body,
                                       const std::function<std::optional<std::string>(std::string_view)>& handleOne);

// The answer to a request that found every tool-call worker busy and the queue full: a
// JSON-RPC error with the request's id. Nothing for a body that is not a JSON object.
std::optional<std::string> busyResponse(std::string_view body);

std::string jsonRpc(const nlohmann::json& id, const nlohmann::json& result);
std::string errorResponse(const nlohmann::json& id, int code, const std::string& message);
// Wraps a tool's answer as the MCP tool result: image content for an image, an error text
// for a dictionary with a string "error", otherwise the dictionary's own JSON text.
std::string toolResponse(const nlohmann::json& id, const tools::ToolAnswer& answer);

}  // namespace velmor::mcp
