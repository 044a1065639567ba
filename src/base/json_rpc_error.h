#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

namespace velmor {

// JSON-RPC's code for a failure inside the server (or the bridge on its way to it).
inline constexpr int kJsonRpcInternalError = -32603;

// The JSON-RPC 2.0 error answer to the request with `id`:
// {"jsonrpc": "2.0", "id": id, "error": {"code": code, "message": message}}. Kept in that
// order for writers that keep the order (the bridge's lines); converted to nlohmann::json
// it sorts like every other answer of the server.
nlohmann::ordered_json jsonRpcError(const nlohmann::json& id, int code, std::string_view message);

}  // namespace velmor
