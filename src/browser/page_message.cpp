#include "browser/page_message.h"

#include "app/log.h"

#include <algorithm>

namespace velmor::browser {

using nlohmann::json;

namespace {

const json* field(const json& object, const char* key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const std::string* stringField(const json& object, const char* key) {
    const json* value = field(object, key);
    return value && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

std::string stringOr(const json& object, const char* key, const std::string& fallback) {
    const std::string* value = stringField(object, key);
    return value ? *value : fallback;
}

json objectSchema() { return {{"type", "object"}, {"properties", json::object()}}; }

void registerTool(const json& message, const std::string& sessionId, BrowserSessionManager& sessions) {
    const json* tool = field(message, "tool");
    if (!tool || !tool->is_object()) return;
    const std::string* name = stringField(*tool, "name");
    const std::string* description = stringField(*tool, "description");
    if (!name || !description) return;
    const json* schema = field(*tool, "inputSchema");
    sessions.registerTool(sessionId, *name, *description, schema && schema->is_object() ? *schema : objectSchema());
}

void toolsReady(const json& message, const std::string& sessionId, BrowserSessionManager& sessions) {
    const json* tools = field(message, "tools");
    size_t count = tools && tools->is_array() ? tools->size() : 0;
    Log::info("ws", "Tools ready (" + sessionId + "): " + std::to_string(count) + " tools");
    sessions.markReady(sessionId);
}

void toolResult(const json& message, BrowserSessionManager& sessions) {
    const std::string* callId = stringField(message, "callId");
    const json* result = field(message, "result");
    if (!callId || !result || !result->is_object()) return;
    const json* content = field(*result, "content");
    if (!content || !content->is_array()) return;
    if (!std::all_of(content->begin(), content->end(), [](const json& item) { return item.is_object(); })) return;
    sessions.handleToolResult(*callId, *content);
}

// "tool_error" and "screenshot_error" end the waiting call the same way.
void callError(const json& message, BrowserSessionManager& sessions) {
    const std::string* callId = stringField(message, "callId");
    const std::string* error = stringField(message, "error");
    if (callId && error) sessions.handleToolError(*callId, *error);
}

void screenshotResult(const json& message, BrowserSessionManager& sessions) {
    const std::string* callId = stringField(message, "callId");
    const std::string* data = stringField(message, "data");
    // The image is always handed on as PNG, so any "mimeType" the page sends is not read.
    if (callId && data) sessions.handleScreenshotResult(*callId, *data);
}

}  // namespace

void processPageMessage(std::string_view frame, const std::string& sessionId, BrowserSessionManager& sessions) {
    json message = json::parse(frame, nullptr, false);
    if (!message.is_object()) return;
    const std::string* typeField = stringField(message, "type");
    if (!typeField) return;
    const std::string& type = *typeField;

    if (type == "ping") {
        if (auto session = sessions.getSession(sessionId)) session->send({{"type", "pong"}});
    } else if (type == "page_info") {
        std::string url = stringOr(message, "url", "");
        std::string title = stringOr(message, "title", "");
        sessions.updatePageInfo(sessionId, url, title);
        Log::info("ws", "Page: " + title + " (" + url + ")");
    } else if (type == "register_tool") {
        registerTool(message, sessionId, sessions);
    } else if (type == "unregister_tool") {
        if (const std::string* name = stringField(message, "name")) sessions.unregisterTool(sessionId, *name);
    } else if (type == "tools_ready") {
        toolsReady(message, sessionId, sessions);
    } else if (type == "tool_result") {
        toolResult(message, sessions);
    } else if (type == "tool_error" || type == "screenshot_error") {
        callError(message, sessions);
    } else if (type == "screenshot_result") {
        screenshotResult(message, sessions);
    } else if (type == "browser_event") {
        Log::info("ws", "Browser event: " + stringOr(message, "event", ""));
    } else if (type == "subscribe_tools_changed") {
        if (auto session = sessions.getSession(sessionId)) sessions.subscribeToolChanges(session->connection());
    } else if (type != "session_auth") {
        Log::info("ws", "Unknown message type: " + type);
    }
}

}  // namespace velmor::browser
