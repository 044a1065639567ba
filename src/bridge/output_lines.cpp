#include "bridge/output_lines.h"

#include "base/json_rpc_error.h"

namespace velmor::bridge {

std::string errorLine(const nlohmann::json& id, std::string_view message) {
    return jsonRpcError(id, kJsonRpcInternalError, message)
        .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace velmor::bridge
