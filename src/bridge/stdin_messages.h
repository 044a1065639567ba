#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace velmor::bridge {

// What the bridge needs to know of an input line before sending it on.
struct InputMessage {
    // False for a JSON object whose `method` is a string starting with "notifications/",
    // and for the client's own response to a request of the application's (an object
    // with an id, a result or an error, and no method): neither gets an answer. Anything
    // else, including text that is not JSON at all, is treated as a request so the
    // client always hears back.
    bool expectsAnswer = true;
    // The `method` when it is a string, else "".
    std::string method;
    // The request's `id`, for the error lines the bridge writes on its behalf; null when
    // the line has none.
    nlohmann::json id;
};

InputMessage readInputMessage(std::string_view line);

// The `id` of the object that `prefix` begins, as far as it can be read from the first
// bytes of a line too long to parse whole; null when it does not appear among them.
nlohmann::json idInPrefix(std::string_view prefix);

}  // namespace velmor::bridge
