#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::bridge {

// The application's answer may be this large; a larger one is not read to the end.
inline constexpr size_t kMaxAnswerBytes = 64 * 1024 * 1024;

// The one line the client sees for the answer to its request `requestId`: the answer's
// own text, with the line breaks between its tokens turned into blanks, when it is a
// JSON-RPC response to that request (whatever the HTTP status: a refusal the application
// words as JSON-RPC is the client's to read); otherwise a JSON-RPC error that says what
// came back instead (another status, an empty body, text that is not JSON or not a
// response). Nothing but protocol reaches the client, and nothing that passes is
// re-serialised.
std::string answerLine(const nlohmann::json& requestId, unsigned status, std::string_view body);

// One message of an event stream that answers the request `requestId`.
struct StreamedMessage {
    std::string line;     // what to write; empty when the event is not passed on
    bool isAnswer = false;  // the response to the request itself: the stream has done its job
};

// A JSON-RPC response to the request, or a message the application sends of its own
// accord (a notification such as progress, or a request of its own) passes as one line;
// anything else is dropped.
StreamedMessage streamedMessage(const nlohmann::json& requestId, std::string_view data);

// `text` on one line: JSON allows raw line breaks only between tokens, never inside a
// string, so blanks in their place leave the value as it was.
std::string onOneLine(std::string_view text);

}  // namespace velmor::bridge
