// The bridge's handling of a line from the client and of an answer from the application:
// whatever comes in, what goes out is one line holding one JSON-RPC message.
#include "base/text.h"
#include "bridge/answer_line.h"
#include "bridge/bounded_line.h"
#include "bridge/output_lines.h"
#include "bridge/stdin_messages.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace {

void expectOneMessageLine(const std::string& line, const nlohmann::json& id) {
    if (line.find('\n') != std::string::npos) std::abort();
    nlohmann::json message = nlohmann::json::parse(line, nullptr, false);
    if (!message.is_object() || message["jsonrpc"] != "2.0" || message["id"] != id) std::abort();
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
    return 0;
}
