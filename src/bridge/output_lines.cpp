#include "bridge/output_lines.h"

#include <nlohmann/json.hpp>

namespace velmor::bridge {

std::string transportErrorLine(std::string_view description) {
    // Written by hand around the escaped text because the key order is fixed and
    // nlohmann::json would sort the keys.
    std::string message = nlohmann::json(std::string(description)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return R"({"jsonrpc":"2.0","id":null,"error":{"code":-32603,"message":)" + message + "}}";
}

}  // namespace velmor::bridge
