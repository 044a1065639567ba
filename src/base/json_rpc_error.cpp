#include "base/json_rpc_error.h"

#include <string>

namespace velmor {

nlohmann::ordered_json jsonRpcError(const nlohmann::json& id, int code, std::string_view message) {
    nlohmann::ordered_json error;
    error["code"] = code;
    error["message"] = std::string(message);
    nlohmann::ordered_json answer;
    answer["jsonrpc"] = "2.0";
    answer["id"] = id;
    answer["error"] = std::move(error);
    return answer;
}

}  // namespace velmor
