// One HTTP request, arriving in pieces, through the parser the MCP endpoint uses, its
// header check and the JSON-RPC layer, as a connection of the endpoint handles it.
#include "mcp/http_answer.h"
#include "mcp/json_rpc.h"
#include "mcp/session_registry.h"
#include "tools/tool_router.h"

#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

namespace {

constexpr std::string_view kToken = "0123456789abcdef0123456789abcdef";

void mustBeHttpAnswer(const velmor::mcp::HttpAnswer& answer) {
    std::string bytes = velmor::mcp::formatResponse(answer, true);
    if (!bytes.starts_with("HTTP/1.1 ") || bytes.find("\r\n\r\n") == std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velmor;
    namespace http = boost::beast::http;
    static tools::ToolRouter router;  // every family empty: calls answer without acting
    static mcp::SessionRegistry sessions;
    if (size == 0) return 0;
    // The first byte chooses how the rest is cut into reads.
    size_t piece = 1 + data[0] % 64;
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    http::request_parser<http::string_body> parser;
    parser.header_limit(4096);
    parser.body_limit(1 << 20);
    parser.eager(true);
    std::string pending;
    bool admitted = false;
    for (size_t at = 0; at < bytes.size() && !parser.is_done(); at += piece) {
        pending.append(bytes.substr(at, piece));
        boost::beast::error_code error;
        size_t used = parser.put(boost::asio::buffer(pending), error);
        if (error == http::error::need_more) error = {};
        if (error) return 0;
        pending.erase(0, used);
        if (parser.is_header_done() && !admitted) {
            auto verdict = mcp::admitRequest(parser.get().base(), kToken, sessions);
            if (auto* refusal = std::get_if<mcp::HttpAnswer>(&verdict)) {
                mustBeHttpAnswer(*refusal);
                return 0;
            }
            admitted = true;
        }
    }
    if (!parser.is_done()) return 0;
    const std::string& body = parser.get().body();
    auto response = mcp::handleRequest(router, body);
    // A response is one JSON text; the busy answer is built from the same body.
    if (response && !nlohmann::json::accept(*response)) std::abort();
    auto busy = mcp::busyResponse(body);
    if (busy && !nlohmann::json::accept(*busy)) std::abort();
    mustBeHttpAnswer({response ? 200 : 202, response.value_or("")});
    return 0;
}
