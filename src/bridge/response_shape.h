#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

namespace velmor::bridge {

// Whether `text` is a JSON-RPC response to the request `requestId` (jsonrpc "2.0", that
// id, a result or an error object but not both), within the depth bound and in strict
// UTF-8, found without building the value: an answer such as a tool list is passed on as
// it came, so it is read once and nothing of it is kept. False also when the answer
// carries an id that is an object or array, which only a built value can compare.
bool isResponseText(std::string_view text, const nlohmann::json& requestId);

}  // namespace velmor::bridge
