// One HTTP request, arriving in pieces, through the reader, the header check, the router
// and the JSON-RPC layer, as a connection of the MCP endpoint handles it.
#include "mcp/http_answer.h"
#include "mcp/json_rpc.h"
#include "mcp/request_reader.h"
#include "tools/tool_router.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

constexpr std::string_view kToken = "0123456789abcdef0123456789abcdef";

bool isHttpAnswer(const std::string& bytes) { return bytes.starts_with("HTTP/1.1 "); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velmor;
    using State = mcp::RequestReader::State;
    static tools::ToolRouter router;  // every family empty: calls answer without acting
    if (size == 0) return 0;
    // The first byte chooses how the rest is cut into reads.
    size_t piece = 1 + data[0] % 64;
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    mcp::RequestReader reader(1 << 20, 4096);
    State state = State::NeedMore;
    for (size_t at = 0; at < bytes.size() && state == State::NeedMore; at += piece) {
        std::string_view read = bytes.substr(at, piece);
        state = reader.append(read.data(), read.size());
        if (state == State::HeadersComplete) {
            if (auto settled = mcp::answerFromHeaders(reader.headerBlock(), kToken)) {
                if (!isHttpAnswer(settled->bytes)) std::abort();
                return 0;
            }
            state = reader.continueWithBody();
        }
    }
    if (state != State::Complete) return 0;
    mcp::HttpAnswer answer = mcp::answerRequest(reader.request(), kToken, [](std::string_view body, const mcp::RequestChannel&) {
        auto response = mcp::handleRequest(router, body);
        // A response is one JSON text; the busy answer is built from the same body.
        if (response && !nlohmann::json::accept(*response)) std::abort();
        auto busy = mcp::busyResponse(body);
        if (busy && !nlohmann::json::accept(*busy)) std::abort();
        return response;
    });
    if (!isHttpAnswer(answer.bytes)) std::abort();
    return 0;
}
