#pragma once

#include "mcp/json_rpc.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::mcp {

// What goes back on a connection, and whether the connection closes at once after it
// (preflight) or after the short grace period every other answer gets.
struct HttpAnswer {
    std::string bytes;
    bool closeImmediately = false;
};

// The CORS preflight answer, byte for byte.
inline constexpr std::string_view kPreflightAnswer =
    "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\nAccess-Control-Allow-Methods: POST, OPTIONS\r\n"
    "Access-Control-Allow-Headers: Content-Type, Authorization\r\nContent-Length: 0\r\n\r\n";

std::string formatResponse(int status, std::string_view body, std::string_view contentType = "application/json");

// Takes the JSON-RPC body; answers the response body, or nothing for "204 No Content".
using BodyHandler = std::function<std::optional<std::string>(std::string_view body, const RequestChannel&)>;

// The answer for a request that its header block alone settles: a preflight, a method
// other than POST, or a missing or wrong bearer token (404 when the headers do not name
// /mcp, else 401). Nothing when the request may go on to its body, which is therefore
// never read for a client without the token.
std::optional<HttpAnswer> answerFromHeaders(std::string_view headerBlock, std::string_view token);

// Routes one complete request text. The checks run in a fixed order: preflight, method
// and path, bearer token, body.
HttpAnswer answerRequest(std::string_view request, std::string_view token, const BodyHandler& handleBody);

// True when the header block has exactly one Authorization header, its scheme is Bearer
// (letter case ignored, as for the header's name) and its credentials are exactly `token`.
// The comparison takes the same time wherever the first difference lies.
bool carriesBearerToken(std::string_view headerBlock, std::string_view token);

}  // namespace velmor::mcp
