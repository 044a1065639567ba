#include "mcp/http_answer.h"

#include <algorithm>
#include <cctype>

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
        case 500: return "Internal Server Error";
        default: return "OK";
    }
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

// A line beginning "authorization:" that holds "bearer " followed by the token, letter
// case ignored throughout. Any line of the request counts.
bool isAuthorised(std::string_view request, std::string_view token) {
    const std::string expected = "bearer " + lowerCase(token);
    size_t start = 0;
    while (start < request.size()) {
        size_t end = request.find("\r\n", start);
        if (end == std::string_view::npos) end = request.size();
        std::string line = lowerCase(request.substr(start, end - start));
        if (line.starts_with("authorization:") && line.find(expected) != std::string::npos) return true;
        start = end + 2;
    }
    return false;
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

HttpAnswer answerRequest(std::string_view request, std::string_view token, const BodyHandler& handleBody) {
    if (request.starts_with("OPTIONS")) return {std::string(kPreflightAnswer), true};
    if (!request.starts_with("POST") || request.find("/mcp") == std::string_view::npos)
        return {formatResponse(404, R"({"error":"not found"})")};
    if (!isAuthorised(request, token)) return {formatResponse(401, R"({"error":"unauthorized"})")};
    auto separator = request.find("\r\n\r\n");
    if (separator == std::string_view::npos) return {formatResponse(400, R"({"error":"no body"})")};
    std::optional<std::string> body = handleBody(request.substr(separator + 4));
    if (!body) return {formatResponse(204, "")};
    return {formatResponse(200, *body)};
}

}  // namespace velmor::mcp
