#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace velmor::bridge {

// The application's answer may be this large; a larger one is not read to the end.
inline constexpr size_t kMaxAnswerBytes = 64 * 1024 * 1024;

// The one line the client sees for the answer to its request `requestId`: the answer
// itself, re-serialised on one line, when it is a JSON-RPC response to that request;
// otherwise a JSON-RPC error that says what came back instead (another status, an empty
// body, text that is not JSON or not a response). Nothing but protocol reaches the client.
std::string answerLine(const nlohmann::json& requestId, unsigned status, std::string_view body);

}  // namespace velmor::bridge
