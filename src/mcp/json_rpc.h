#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::tools {
class ToolRouter;
}

namespace velmor::mcp {

// The MCP method layer: initialize, notifications/initialized, tools/list, tools/call.
// Answers the response text, or nothing when no response is sent (notifications, and
// bodies that are not a JSON object).
std::optional<std::string> handleRequest(tools::ToolRouter& router, std::string_view body);

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
