#include "mcp/cancellable_calls.h"

#include "base/json_fields.h"
#include "base/json_text.h"
#include "mcp/progress_notifications.h"
#include "tools/tool_router.h"

namespace velmor::mcp {

using nlohmann::json;

namespace {

// A JSON-RPC id or progress token: a string or a whole number.
bool isTokenLike(const json& value) { return value.is_string() || value.is_number_integer(); }

InFlightCalls::Key keyOf(const RequestChannel& channel, const json& id) { return {channel.session, dictToJson(id)}; }

const json* progressTokenOf(const json& params) {
    const json* meta = findField(params, "_meta");
    const json* token = meta ? findField(*meta, "progressToken") : nullptr;
    return token && isTokenLike(*token) ? token : nullptr;
}

}  // namespace

InFlightCalls& inFlightCalls() {
    static InFlightCalls calls;
    return calls;
}

std::optional<tools::ToolAnswer> runCancellableToolCall(tools::ToolRouter& router, const std::string& name,
                                                        const json& args, const json& id, const json& params,
                                                        const RequestChannel& channel) {
    CallContext::ProgressSink progress;
    if (const json* token = progressTokenOf(params); token && channel.notify)
        progress = progressNotifier(*token, channel.notify);
    auto context = std::make_shared<CallContext>(std::move(progress));
    // A request without an id cannot be named by a cancellation; it runs unlisted.
    std::unique_ptr<InFlightCalls::Registration> listed;
    if (isTokenLike(id)) listed = inFlightCalls().add(keyOf(channel, id), context);
    std::optional<tools::ToolAnswer> answer;
    {
        CallScope scope(context);
        answer = router.callTool(name, args);
    }
    if (context->cancelled()) return std::nullopt;
    return answer;
}

void cancelNamedCall(const json& params, const RequestChannel& channel) {
    const json* requestId = findField(params, "requestId");
    if (!requestId || !isTokenLike(*requestId)) return;
    (void)inFlightCalls().cancel(keyOf(channel, *requestId));
}

}  // namespace velmor::mcp
