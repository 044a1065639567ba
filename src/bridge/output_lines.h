#pragma once

#include <string>
#include <string_view>

namespace velmor::bridge {

// The lines the bridge writes to standard output on its own behalf. The error lines carry
// "id": null whatever the failed request's id was: the bridge does not read the requests.
inline constexpr std::string_view kToolsListChangedLine =
    R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})";
inline constexpr std::string_view kBadUrlLine =
    R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"bad URL"}})";
inline constexpr std::string_view kEmptyResponseLine =
    R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":"empty response"}})";

// The line for a failed exchange (no connection, time-out, broken answer), with the
// error's description escaped so the line stays valid JSON whatever the text holds.
std::string transportErrorLine(std::string_view description);

}  // namespace velmor::bridge
