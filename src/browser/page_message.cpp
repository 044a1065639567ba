#include "browser/page_message.h"

#include "base/json_depth.h"
#include "base/json_fields.h"
#include "base/log.h"
#include "base/tool_description.h"

#include <algorithm>

namespace velmor::browser {

using nlohmann::json;

namespace {

void registerTool(const json& message, const std::string& sessionId, BrowserSessionManager& sessions) {
    const json* tool = findField(message, "tool");
    if (!tool || !tool->is_object()) return;
    const std::string* name = stringField(*tool, "name");
    const std::string* description = stringField(*tool, "description");
    if (!name || !description) return;
    const json* schema = findField(*tool, "inputSchema");
    sessions.agents().registerTool(sessionId, *name, *description, schema && schema->is_object() ? *schema : tool_schema::objectSchema());
}

void toolsReady(const json& message, const std::string& sessionId, BrowserSessionManager& sessions) {
    const json* tools = findField(message, "tools");
    size_t count = tools && tools->is_array() ? tools->size() : 0;
    Log::info("ws", "Tools ready (" + sessionId + "): " + std::to_string(count) + " tools");
    sessions.agents().markReady(sessionId);
}

void toolResult(const json& message, const std::string& sessionId, BrowserSessionManager& sessions) {
    const std::string* callId = stringField(message, "callId");
    const json* result = findField(message, "result");
    if (!callId || !result || !result->is_object()) return;
    const json* content = findField(*result, "content");
    if (!content || !content->is_array()) return;
    if (!std::all_of(content->begin(), content->end(), [](const json& item) { return item.is_object(); })) return;
    sessions.calls().handleToolResult(sessionId, *callId, *content);
}

// "tool_error" ends the waiting call with the page's words.
void callError(const json& message, const std::string& sessionId, BrowserSessionManager& sessions) {
    const std::string* callId = stringField(message, "callId");
    const std::string* error = stringField(message, "error");
    if (callId && error) sessions.calls().handleToolError(sessionId, *callId, *error);
}

PeerVerdict refuse(const PagePeer& peer, const std::string& reason) {
    Log::info("ws", "Authentication refused (" + peer.sessionId + "): " + reason);
    return PeerVerdict::Close;
}

PeerVerdict authenticate(const json& message, PagePeer& peer, BrowserSessionManager& sessions) {
    if (peer.role != PagePeer::Role::Unauthenticated) return PeerVerdict::KeepOpen;
    const std::string* nonce = stringField(message, "nonce");
    if (!nonce) return refuse(peer, "no nonce");
    if (auto refusal = sessions.agents().authenticatePage(peer.sessionId, *nonce, peer.handshakeOrigin))
        return refuse(peer, *refusal);
    peer.role = PagePeer::Role::Page;
    return PeerVerdict::KeepOpen;
}

PeerVerdict subscribe(const json& message, PagePeer& peer, BrowserSessionManager& sessions) {
    const std::string* token = stringField(message, "token");
    if (!token || !sessions.subscribeToolChanges(peer.sessionId, *token))
        return refuse(peer, "tool-change subscription without the bearer token");
    if (peer.role == PagePeer::Role::Unauthenticated) peer.role = PagePeer::Role::Subscriber;
    return PeerVerdict::KeepOpen;
}

}  // namespace

PeerVerdict processPageMessage(std::string_view frame, PagePeer& peer, BrowserSessionManager& sessions) {
    json message = parseBoundedJson(frame);
    if (!message.is_object()) return PeerVerdict::KeepOpen;
    const std::string* typeField = stringField(message, "type");
    if (!typeField) return PeerVerdict::KeepOpen;
    const std::string& type = *typeField;
    const std::string& sessionId = peer.sessionId;

    if (type == "session_auth") return authenticate(message, peer, sessions);
    if (type == "subscribe_tools_changed") return subscribe(message, peer, sessions);
    if (peer.role == PagePeer::Role::Unauthenticated) return PeerVerdict::KeepOpen;
    if (type == "ping") {
        if (auto session = sessions.agents().session(sessionId)) session->send({{"type", "pong"}});
        return PeerVerdict::KeepOpen;
    }
    // The bridge only listens; everything else is what pages say.
    if (peer.role != PagePeer::Role::Page) return PeerVerdict::KeepOpen;

    if (type == "page_info") {
        std::string url = stringFieldOr(message, "url");
        std::string title = stringFieldOr(message, "title");
        sessions.agents().updatePageInfo(sessionId, url, title);
        Log::info("ws", "Page: " + title + " (" + url + ")");
    } else if (type == "register_tool") {
        registerTool(message, sessionId, sessions);
    } else if (type == "unregister_tool") {
        if (const std::string* name = stringField(message, "name")) sessions.agents().unregisterTool(sessionId, *name);
    } else if (type == "tools_ready") {
        toolsReady(message, sessionId, sessions);
    } else if (type == "tool_result") {
        toolResult(message, sessionId, sessions);
    } else if (type == "tool_error") {
        callError(message, sessionId, sessions);
    } else if (type == "browser_event") {
        Log::info("ws", "Browser event: " + stringFieldOr(message, "event"));
    } else {
        Log::info("ws", "Unknown message type: " + type);
    }
    return PeerVerdict::KeepOpen;
}

}  // namespace velmor::browser
