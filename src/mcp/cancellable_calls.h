#pragma once

#include "mcp/in_flight_calls.h"
#include "mcp/json_rpc.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velmor::mcp {

// The tool calls this process is running. The JSON-RPC layer is one per process and stateless
// in every other respect, so the list of its running calls lives with it.
InFlightCalls& inFlightCalls();

// Runs tools/call `name` with `args` as a call its client may cancel (listed under
// channel.session and `id`) and hear progress from (when `params` carry _meta.progressToken
// and the channel can notify). The tool's result, or nothing when the call was cancelled:
// a cancelled request is not answered.
std::optional<tools::ToolAnswer> runCancellableToolCall(tools::ToolRouter& router, const std::string& name,
                                                        const nlohmann::json& args, const nlohmann::json& id,
                                                        const nlohmann::json& params, const RequestChannel& channel);

// notifications/cancelled: stops the call params.requestId names in the same session, if it
// still runs; anything else (another session's call, an unknown id, no id) changes nothing.
void cancelNamedCall(const nlohmann::json& params, const RequestChannel& channel);

}  // namespace velmor::mcp
