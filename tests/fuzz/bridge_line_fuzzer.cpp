// The bridge's handling of a line from the client and of an answer from the application:
// whatever comes in, what goes out is one line holding one JSON-RPC message.
#include "base/json_depth.h"
#include "base/text.h"
#include "bridge/answer_line.h"
#include "bridge/bounded_line.h"
#include "bridge/output_lines.h"
#include "bridge/response_shape.h"
#include "bridge/stdin_messages.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace {

void expectOneMessageLine(const std::string& line, const nlohmann::json& id) {
    if (line.find('\n') != std::string::npos || line.find('\0') != std::string::npos) std::abort();
    nlohmann::json message = nlohmann::json::parse(line, nullptr, false);
    if (!message.is_object() || message["jsonrpc"] != "2.0" || message["id"] != id) std::abort();
}

// The same question answered from a built value: the one-pass check must agree with it.
bool isResponseByParsing(std::string_view text, const nlohmann::json& id) {
    nlohmann::json answer = velmor::parseBoundedJson(text);
    if (!answer.is_object() || !answer.contains("jsonrpc") || answer["jsonrpc"] != "2.0") return false;
    if (!answer.contains("id") || answer["id"].is_structured() || answer["id"] != id) return false;
    bool hasResult = answer.contains("result"), hasError = answer.contains("error");
    return hasResult != hasError && (!hasError || answer["error"].is_object());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velmor::bridge;
    std::string_view text(reinterpret_cast<const char*>(data), size);

    // Input side: lines of at most 64 bytes here, so over-long lines come up often.
    std::istringstream input{std::string(text)};
    InputLine line;
    while (readBoundedLine(input, line, 64)) {
        if (line.text.size() > 64) std::abort();
        nlohmann::json id = line.tooLong ? idInPrefix(line.text) : readInputMessage(velmor::trimmed(line.text)).id;
        expectOneMessageLine(errorLine(id, line.text), id);
    }

    // Answer side: the same bytes as the application's answer body, under a few statuses.
    InputMessage request = readInputMessage(R"({"jsonrpc":"2.0","id":7,"method":"tools/list"})");
    for (unsigned status : {200u, 204u, 401u, 500u}) expectOneMessageLine(answerLine(request.id, status, text), request.id);
    for (const nlohmann::json& id : {nlohmann::json(7), nlohmann::json("7"), nlohmann::json(7.0)})
        if (isResponseText(text, id) != isResponseByParsing(text, id)) {
            // The parser takes a NUL byte for the end of the text; no JSON text holds one.
            if (text.find('\0') == std::string_view::npos || isResponseText(text, id)) std::abort();
        }
    return 0;
}
