#pragma once

#include "mcp/json_rpc.h"

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace velmor::mcp {

class SessionRegistry;

using RequestHeader = boost::beast::http::request_header<>;

// One HTTP answer before it is written: the connection adds how it goes on (kept or
// closed) when it writes it.
struct HttpAnswer {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::vector<std::pair<std::string, std::string>> headers;  // beyond type, length and Connection
};

// The bytes of `answer` on the wire. `keepAlive` false adds "Connection: close".
std::string formatResponse(const HttpAnswer& answer, bool keepAlive);

// Takes the JSON-RPC body and where it came from; answers the response body, or nothing
// when none is due (202 Accepted).
using BodyHandler = std::function<std::optional<std::string>(std::string_view body, const RequestChannel& channel)>;

// Which of the two answer forms of a POST the client takes. A client that states no
// preference (no Accept header, or one that admits anything) is taken to accept both:
// many real clients send "*/*" or nothing, and refusing them helps no one.
struct AcceptedTypes {
    bool json = false;
    bool eventStream = false;
};
AcceptedTypes acceptedTypes(const RequestHeader& header);

// What an admitted request to /mcp asks for.
enum class McpRequestKind { Message, OpenEventStream, EndSession };

struct AdmittedRequest {
    McpRequestKind kind = McpRequestKind::Message;
    AcceptedTypes accepts;
    std::string session;  // the Mcp-Session-Id it carries, known to the registry; empty without
};

// Judges a request by its header block alone, so that a refused client's body is never
// read. In this order: any Origin (a page in a browser; "null" too) is refused 403; a path
// other than /mcp is 404; OPTIONS is answered with what is allowed (no CORS grant); a
// method other than POST, GET and DELETE is 405; a missing or wrong bearer token 401 with
// a Bearer challenge; an MCP-Protocol-Version this server does not speak 400; an Accept
// that admits neither answer form 406; a POST body declared as anything but JSON 415; an
// Mcp-Session-Id that is unknown or ended 404, and a DELETE without one 400. A request
// without a session id is served: simple clients and the bridge post without one.
std::variant<HttpAnswer, AdmittedRequest> admitRequest(const RequestHeader& header, std::string_view token,
                                                       const SessionRegistry& sessions);

// True when the header block has exactly one Authorization header, its scheme is Bearer
// (letter case ignored, as for the header's name) and its credentials are exactly `token`.
// The comparison takes the same time wherever the first difference lies.
bool carriesBearerToken(const RequestHeader& header, std::string_view token);

// A refusal in the shape of every error of this endpoint: {"error": "<what>"}.
HttpAnswer errorAnswer(int status, std::string_view what);

}  // namespace velmor::mcp
