#include "mcp/http_answer.h"

#include "base/constant_time.h"
#include "base/text.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace velmor::mcp {

namespace {

std::string_view reasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 204: return "No Content";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 404: return "Not Found";
        case 413: return "Payload Too Large";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        default: return "OK";
    }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && lowerAscii(a) == lowerAscii(b);
}

std::string_view trimmedWhiteSpace(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string_view headersOf(std::string_view request) {
    return request.substr(0, request.find("\r\n\r\n"));
}

}  // namespace

std::string formatResponse(int status, std::string_view body, std::string_view contentType) {
    std::string response;
    response.reserve(128 + body.size());
    response.append("HTTP/1.1 ").append(std::to_string(status)).append(" ").append(reasonPhrase(status));
    response.append("\r\nContent-Type: ").append(contentType);
    response.append("\r\nAccess-Control-Allow-Origin: *\r\nContent-Length: ").append(std::to_string(body.size()));
    response.append("\r\n\r\n").append(body);
    return response;
}

bool carriesBearerToken(std::string_view headerBlock, std::string_view token) {
    if (token.empty()) return false;
    std::optional<std::string_view> credentials;
    size_t start = headerBlock.find("\r\n");  // past the request line
    while (start != std::string_view::npos && start < headerBlock.size()) {
        start += 2;
        size_t end = headerBlock.find("\r\n", start);
        std::string_view line = headerBlock.substr(start, end == std::string_view::npos ? end : end - start);
        start = end;
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || !equalsIgnoringCase(line.substr(0, colon), "authorization")) continue;
        if (credentials) return false;  // two Authorization headers: which one would count is anyone's guess
        std::string_view value = trimmedWhiteSpace(line.substr(colon + 1));
        size_t space = value.find_first_of(" \t");
        if (space == std::string_view::npos || !equalsIgnoringCase(value.substr(0, space), "bearer")) return false;
        credentials = trimmedWhiteSpace(value.substr(space));
    }
    return credentials && equalInConstantTime(*credentials, token);
}

std::optional<HttpAnswer> answerFromHeaders(std::string_view headerBlock, std::string_view token) {
    if (headerBlock.starts_with("OPTIONS")) return HttpAnswer{std::string(kPreflightAnswer), true};
    if (!headerBlock.starts_with("POST")) return HttpAnswer{formatResponse(404, R"({"error":"not found"})")};
    if (carriesBearerToken(headerBlock, token)) return std::nullopt;
    // The body, which might still name /mcp, is not read for a client without the token.
    if (headerBlock.find("/mcp") == std::string_view::npos) return HttpAnswer{formatResponse(404, R"({"error":"not found"})")};
    return HttpAnswer{formatResponse(401, R"({"error":"unauthorized"})")};
}

HttpAnswer answerRequest(std::string_view request, std::string_view token, const BodyHandler& handleBody) {
    if (auto settled = answerFromHeaders(headersOf(request), token)) return std::move(*settled);
    if (request.find("/mcp") == std::string_view::npos) return {formatResponse(404, R"({"error":"not found"})")};
    auto separator = request.find("\r\n\r\n");
    if (separator == std::string_view::npos) return {formatResponse(400, R"({"error":"no body"})")};
    // This transport answers each request once, at its end: nothing can go to the client before.
    std::optional<std::string> body = handleBody(request.substr(separator + 4), RequestChannel{});
    if (!body) return {formatResponse(204, "")};
    return {formatResponse(200, *body)};
}

}  // namespace velmor::mcp
