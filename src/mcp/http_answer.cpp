#include "mcp/http_answer.h"

#include "base/constant_time.h"
#include "base/json_text.h"
#include "base/text.h"
#include "mcp/protocol_version.h"
#include "mcp/session_registry.h"

namespace velmor::mcp {

namespace http = boost::beast::http;

namespace {

std::string_view reasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 202: return "Accepted";
        case 204: return "No Content";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 406: return "Not Acceptable";
        case 413: return "Payload Too Large";
        case 415: return "Unsupported Media Type";
        case 429: return "Too Many Requests";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        default: return "Unknown";
    }
}

constexpr std::string_view kAllowedMethods = "GET, POST, DELETE, OPTIONS";

std::string_view asStd(boost::beast::string_view text) { return {text.data(), text.size()}; }

// "type/subtype" of a media type or range, lower-cased, without its parameters.
std::string mediaType(std::string_view value) { return lowerAscii(trimmed(value.substr(0, value.find(';')))); }

// A range the client marked q=0 is one it refuses.
bool refusedByQuality(std::string_view range) {
    for (size_t at = range.find(';'); at != std::string_view::npos; at = range.find(';', at + 1)) {
        std::string parameter = lowerAscii(trimmed(range.substr(at + 1, range.find(';', at + 1) - at - 1)));
        std::erase(parameter, ' ');
        if (parameter.starts_with("q=") && parameter.find_first_not_of("0.", 2) == std::string::npos) return true;
    }
    return false;
}

}  // namespace

std::string formatResponse(const HttpAnswer& answer, bool keepAlive) {
    std::string response;
    response.reserve(160 + answer.body.size());
    response.append("HTTP/1.1 ").append(std::to_string(answer.status)).append(" ").append(reasonPhrase(answer.status));
    if (!answer.contentType.empty()) response.append("\r\nContent-Type: ").append(answer.contentType);
    for (const auto& [name, value] : answer.headers) response.append("\r\n").append(name).append(": ").append(value);
    if (!keepAlive) response.append("\r\nConnection: close");
    response.append("\r\nContent-Length: ").append(std::to_string(answer.body.size()));
    response.append("\r\n\r\n").append(answer.body);
    return response;
}

HttpAnswer errorAnswer(int status, std::string_view what) {
    return {status, dictToJson({{"error", what}})};
}

AcceptedTypes acceptedTypes(const RequestHeader& header) {
    auto [first, last] = header.equal_range(http::field::accept);
    if (first == last) return {true, true};
    AcceptedTypes accepts;
    // Several Accept lines count as one list.
    for (auto line = first; line != last; ++line) {
        std::string_view list = asStd(line->value());
        for (size_t start = 0; start <= list.size();) {
            size_t end = std::min(list.find(',', start), list.size());
            std::string_view range = list.substr(start, end - start);
            start = end + 1;
            if (refusedByQuality(range)) continue;
            std::string type = mediaType(range);
            if (type == "*/*") return {true, true};
            accepts.json |= type == "application/json" || type == "application/*";
            accepts.eventStream |= type == "text/event-stream" || type == "text/*";
        }
    }
    return accepts;
}

bool carriesBearerToken(const RequestHeader& header, std::string_view token) {
    if (token.empty() || header.count(http::field::authorization) != 1) return false;
    std::string_view value = trimmed(asStd(header[http::field::authorization]));
    size_t space = value.find_first_of(" \t");
    if (space == std::string_view::npos || lowerAscii(value.substr(0, space)) != "bearer") return false;
    return equalInConstantTime(trimmed(value.substr(space)), token);
}

std::variant<HttpAnswer, AdmittedRequest> admitRequest(const RequestHeader& header, std::string_view token,
                                                       const SessionRegistry& sessions) {
    // No web page may reach the endpoint, whatever name it used for the host: a browser
    // always says where a script's request comes from.
    if (header.count(http::field::origin) > 0) return errorAnswer(403, "origin not allowed");
    std::string_view target = asStd(header.target());
    if (target.substr(0, target.find('?')) != "/mcp") return errorAnswer(404, "not found");
    http::verb method = header.method();
    if (method == http::verb::options) return HttpAnswer{204, "", "", {{"Allow", std::string(kAllowedMethods)}}};
    if (method != http::verb::post && method != http::verb::get && method != http::verb::delete_) {
        HttpAnswer refusal = errorAnswer(405, "method not allowed");
        refusal.headers.emplace_back("Allow", kAllowedMethods);
        return refusal;
    }
    if (!carriesBearerToken(header, token)) {
        HttpAnswer refusal = errorAnswer(401, "unauthorized");
        refusal.headers.emplace_back("WWW-Authenticate", "Bearer");
        return refusal;
    }
    if (auto version = header.find("MCP-Protocol-Version");
        version != header.end() && !isSupportedProtocolVersion(trimmed(asStd(version->value()))))
        return errorAnswer(400, "unsupported MCP-Protocol-Version");

    AdmittedRequest admitted;
    admitted.accepts = acceptedTypes(header);
    if (method == http::verb::post) {
        if (!admitted.accepts.json && !admitted.accepts.eventStream)
            return errorAnswer(406, "Accept must admit application/json or text/event-stream");
        if (auto type = header.find(http::field::content_type);
            type != header.end() && mediaType(asStd(type->value())) != "application/json")
            return errorAnswer(415, "Content-Type must be application/json");
    } else if (method == http::verb::get) {
        if (!admitted.accepts.eventStream) return errorAnswer(406, "Accept must admit text/event-stream");
        admitted.kind = McpRequestKind::OpenEventStream;
    } else {
        admitted.kind = McpRequestKind::EndSession;
    }
    if (auto session = header.find("Mcp-Session-Id"); session != header.end()) {
        admitted.session = std::string(trimmed(asStd(session->value())));
        if (!sessions.contains(admitted.session)) return errorAnswer(404, "session not found");
    } else if (admitted.kind == McpRequestKind::EndSession) {
        return errorAnswer(400, "Mcp-Session-Id required");
    }
    return admitted;
}

}  // namespace velmor::mcp
