#pragma once

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

// The MCP method layer: initialize, notifications/initialized, notifications/cancelled,
// tools/list, tools/call. Answers the response text, or nothing when no response is sent
// (notifications, a tool call its client cancelled, and bodies that are not a JSON object).
// A tool call runs as the current call of its thread (base/call_context.h): a
// notifications/cancelled from the same session stops it at its next safe point, and its
// progress reaches the client through channel.notify when the request carried
// params._meta.progressToken.
std::optional<std::string> handleRequest(tools::ToolRouter& router, std::string_view body,
                                         const RequestChannel& channel = {});

// The answer to a request that found every tool-call worker busy and the queue full: a
// JSON-RPC error with the request's id. Nothing for a body that is not a JSON object, as
// for handleRequest.
std::optional<std::string> busyResponse(std::string_view body);

std::string jsonRpc(const nlohmann::json& id, const nlohmann::json& result);
std::string errorResponse(const nlohmann::json& id, int code, const std::string& message);
// Wraps a tool's result dictionary as the MCP tool result: image content for "__image__",
// an error text for a string "error", otherwise the dictionary's own JSON text.
std::string toolResponse(const nlohmann::json& id, const nlohmann::json& result);

}  // namespace velmor::mcp
