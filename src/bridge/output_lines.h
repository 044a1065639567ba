#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace velmor::bridge {

// The lines the bridge writes to standard output on its own behalf.
inline constexpr std::string_view kToolsListChangedLine =
    R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})";

// A JSON-RPC error (code -32603) for the request with `id` (null when the request had
// none or it could not be read), on one line whatever the message holds. Keys in the
// order jsonrpc, id, error.
std::string errorLine(const nlohmann::json& id, std::string_view message);

}  // namespace velmor::bridge
