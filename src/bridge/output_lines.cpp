#include "bridge/output_lines.h"

namespace velmor::bridge {

namespace {

std::string oneLine(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string errorLine(const nlohmann::json& id, std::string_view message) {
    // Written by hand around the serialised parts because the key order is fixed and
    // nlohmann::json would sort the keys.
    return R"({"jsonrpc":"2.0","id":)" + oneLine(id) + R"(,"error":{"code":-32603,"message":)" +
           oneLine(std::string(message)) + "}}";
}

}  // namespace velmor::bridge
