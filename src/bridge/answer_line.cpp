#include "bridge/answer_line.h"

#include "base/json_depth.h"
#include "bridge/output_lines.h"
#include "bridge/response_shape.h"

namespace velmor::bridge {

using nlohmann::json;

namespace {

// What the application's own error bodies ({"error":"unauthorized"}) say, if anything.
std::string statusLine(unsigned status, const json& body) {
    std::string text = "Velmor answered HTTP " + std::to_string(status);
    if (body.is_object())
        if (auto error = body.find("error"); error != body.end() && error->is_string())
            text += ": " + error->get<std::string>();
    return text;
}

bool isVersion2(const json& message) {
    auto version = message.find("jsonrpc");
    return version != message.end() && *version == "2.0";
}

bool isResponseTo(const json& answer, const json& requestId) {
    if (!answer.is_object() || !isVersion2(answer)) return false;
    auto id = answer.find("id");
    if (id == answer.end() || *id != requestId) return false;
    bool hasResult = answer.contains("result");
    auto error = answer.find("error");
    bool hasError = error != answer.end();
    return hasResult != hasError && (!hasError || error->is_object());
}

// A notification or a request of the application's own: a string method, and no result
// or error that would make it look like an answer.
bool isMessageOfItsOwn(const json& message) {
    if (!message.is_object() || !isVersion2(message)) return false;
    auto method = message.find("method");
    return method != message.end() && method->is_string() && !message.contains("result") &&
           !message.contains("error");
}

}  // namespace

std::string onOneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line;
}

std::string answerLine(const json& requestId, unsigned status, std::string_view body) {
    if (status == 202 || status == 204 || (status == 200 && body.empty()))
        return errorLine(requestId, "empty response");
    if (isResponseText(body, requestId)) return onOneLine(body);
    // What is not plainly a response is looked at whole, to say what it is instead.
    // Parsing checks the text is strict UTF-8 as well as JSON.
    bool tooDeep = false;
    json answer = parseBoundedJson(body, &tooDeep);
    if (isResponseTo(answer, requestId)) return onOneLine(body);
    if (status != 200) return errorLine(requestId, statusLine(status, answer.is_discarded() ? json() : answer));
    if (tooDeep) return errorLine(requestId, "Velmor's answer is nested too deeply");
    if (answer.is_discarded()) return errorLine(requestId, "Velmor's answer is not JSON");
    return errorLine(requestId, "Velmor's answer is not a JSON-RPC response to this request");
}

StreamedMessage streamedMessage(const json& requestId, std::string_view data) {
    json message = parseBoundedJson(data);
    if (isResponseTo(message, requestId)) return {onOneLine(data), true};
    if (isMessageOfItsOwn(message)) return {onOneLine(data), false};
    return {};
}

}  // namespace velmor::bridge
